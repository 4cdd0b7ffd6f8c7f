// The lines that stand-in programs write when they are started (standin.cpp).
#pragma once

#include <string>
#include <vector>

struct StandinStart {
    std::string program;      // file name, as started
    std::string commandLine;  // as the stand-in received it
    std::string currentDirectory;
};

class StandinLog {
public:
    // A fresh, empty log, named to the stand-ins through the environment
    // that started programs inherit.
    StandinLog();
    ~StandinLog();

    // The starts logged so far, after waiting up to timeoutMs for at least
    // `count` of them.
    std::vector<StandinStart> WaitForStarts(size_t count, unsigned timeoutMs = 10000) const;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};
