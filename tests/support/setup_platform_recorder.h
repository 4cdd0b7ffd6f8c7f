// The platform recorder of the setup program's tests: the calls of both
// programs, and the Open dialog and the registry writes and deletions.
#pragma once

#include "platform_recorder.h"
#include "setup_platform.h"

#include <optional>
#include <string>
#include <vector>

struct RecordedOpenDialog {
    HWND owner;
    std::string filter;  // with its NULs shown as '|'
    std::string defaultExtension;
    std::string initialFile;
    DWORD flags;
    DWORD fileBufferSize;
};

class SetupPlatformRecorder : public PlatformRecorder {
public:
    SetupPlatformRecorder();
    ~SetupPlatformRecorder();

    std::vector<RecordedOpenDialog> openDialogs;
    std::optional<std::string> openDialogChoice;  // nothing: the user cancels

    std::vector<std::string> registryWrites;   // value names, in order; real writes follow
    std::string failRegistryWriteOf;           // this value name is refused
    std::vector<std::string> registryDeletes;  // value names, in order; real deletions follow
    std::string failRegistryDeleteOf;          // this value name is kept
    bool failKeyCreate = false;
};
