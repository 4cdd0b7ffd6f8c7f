// Replaces the entries of Platform for the life of one test and records each
// call: what a person would have seen or what the system would have started.
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

// The sizes the system expects of the records we hand it, per architecture:
// the start-up record, and the tray record's first version.
inline constexpr DWORD kStartupRecordSize = sizeof(void*) == 4 ? 68 : 104;
inline constexpr DWORD kFirstTrayRecordSize = sizeof(void*) == 4 ? 88 : 104;

struct RecordedProcess {
    std::string commandLine;
    std::optional<std::string> currentDirectory;
    BOOL inheritHandles;
    DWORD creationFlags;
    DWORD startupSize;
    bool hadApplicationName;
};

struct RecordedHelp {
    HWND window;
    std::string file;
    UINT command;
    ULONG_PTR data;
};

struct RecordedTrayCall {
    DWORD message;
    NOTIFYICONDATAA data;
};

struct RecordedOpenDialog {
    HWND owner;
    std::string filter;  // with its NULs shown as '|'
    std::string defaultExtension;
    std::string initialFile;
    DWORD flags;
    DWORD fileBufferSize;
};

class PlatformRecorder {
public:
    PlatformRecorder();
    ~PlatformRecorder();
    PlatformRecorder(const PlatformRecorder&) = delete;
    PlatformRecorder& operator=(const PlatformRecorder&) = delete;

    // Lets the real function run for one entry (for instance process starts).
    void UseReal(auto PlatformCalls::*entry) { Platform.*entry = RealPlatform.*entry; }

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
    bool helpStarts = true;  // false: the help system cannot be started
    std::vector<RecordedTrayCall> trayCalls;
    std::vector<std::pair<std::string, UINT>> sounds;
    std::vector<UINT> beeps;

    std::vector<RecordedOpenDialog> openDialogs;
    std::optional<std::string> openDialogChoice;  // nothing: the user cancels

    std::vector<std::string> registryWrites;  // value names, in order; real writes follow
    std::string failRegistryWriteOf;          // this value name is refused
    bool failKeyCreate = false;

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
