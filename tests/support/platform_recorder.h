// Replaces the entries of gPlatform for the life of one test and records each
// call: what a person would have seen or what the system would have started.
// MonitorPlatformRecorder and SetupPlatformRecorder add each program's own
// calls.
#pragma once

#include "platform.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Thrown by the recorded ExitProcess, so that a test sees the exit status of
// a path that ends the process and goes on.
struct ProcessExit {
    UINT code;
};

struct RecordedBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags;
};

// The size the system expects of the start-up record we hand it, per
// architecture.
inline constexpr DWORD kStartupRecordSize = sizeof(void*) == 4 ? 68 : 104;

struct RecordedProcess {
    std::string commandLine;
    std::optional<std::string> currentDirectory;
    BOOL inheritHandles;
    DWORD creationFlags;
    DWORD startupSize;
    bool hadApplicationName;
    std::string applicationName;
};

struct RecordedHelp {
    HWND window;
    std::string file;
    UINT command;
    ULONG_PTR data;
};

class PlatformRecorder {
public:
    PlatformRecorder();
    ~PlatformRecorder();
    PlatformRecorder(const PlatformRecorder&) = delete;
    PlatformRecorder& operator=(const PlatformRecorder&) = delete;

    // Lets the real function run for one entry (for instance process starts).
    void UseReal(auto PlatformCalls::*entry) { gPlatform.*entry = kRealPlatform.*entry; }

    std::vector<RecordedBox> boxes;
    int boxAnswer = IDOK;
    // Runs while a recorded box is "open", before it is answered: what the
    // message loop of a real box would dispatch meanwhile.
    std::function<void(const RecordedBox&)> whileBoxOpen;

    std::vector<RecordedProcess> processes;
    bool processStartSucceeds = true;  // recorded starts start nothing
    // The process and thread handles handed out by recorded starts, so that a
    // test can see whether the caller closed them.
    std::vector<HANDLE> startedHandles;

    std::vector<RecordedHelp> helps;
    bool helpStarts = true;  // false: the viewer or the help file cannot be opened

    std::vector<std::string> BoxTexts() const;
};

// The exit status of an action that ends the process, or nothing.
template <typename Action>
std::optional<UINT> ExitCodeOf(Action action)
{
    try {
        action();
    } catch (const ProcessExit& exit) {
        return exit.code;
    }
    return std::nullopt;
}
