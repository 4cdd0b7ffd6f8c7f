#include "standin_log.h"

#include <windows.h>

#include <fstream>

StandinLog::StandinLog()
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    char file[MAX_PATH];
    GetTempFileNameA(folder, "sti", 0, file);
    path_ = file;
    DeleteFileA(path_.c_str());
    SetEnvironmentVariableA("QUILLO_STANDIN_LOG", path_.c_str());
}

StandinLog::~StandinLog()
{
    SetEnvironmentVariableA("QUILLO_STANDIN_LOG", nullptr);
    DeleteFileA(path_.c_str());
}

std::vector<StandinStart> StandinLog::WaitForStarts(size_t count, unsigned timeoutMs) const
{
    const DWORD start = GetTickCount();
    std::vector<StandinStart> starts;
    for (;;) {
        starts.clear();
        std::ifstream log(path_);
        std::string line;
        while (std::getline(log, line)) {
            const size_t first = line.find('|');
            const size_t last = line.rfind('|');
            if (first == std::string::npos || first == last)
                continue;
            starts.push_back({line.substr(0, first), line.substr(first + 1, last - first - 1), line.substr(last + 1)});
        }
        if (starts.size() >= count || GetTickCount() - start >= timeoutMs)
            return starts;
        Sleep(50);
    }
}
