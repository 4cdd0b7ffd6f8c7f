// The platform recorder of the setup program's tests: the calls of both
// programs, and the Open dialog, the registry writes and deletions, the
// setup program's own modal dialogs and the sign-in window.
#pragma once

#include "platform_recorder.h"
#include "setup_platform.h"

#include <functional>
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

    // A modal dialog is made modeless instead and handed to this script,
    // which plays the user (the dialog's own OK or Cancel ends it); without
    // a script it is cancelled.
    std::function<void(HWND dialog)> modalScript;
    int modalDialogs = 0;

    struct SignIn {
        HWND owner;
        OAuthProvider provider;
        std::string user;
    };
    std::vector<SignIn> signIns;
    std::optional<std::string> signInToken;  // nothing: the sign-in fails
};
