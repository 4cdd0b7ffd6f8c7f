// The platform calls that only the setup program makes and a test must
// observe: the Open dialog, the registry writes and deletions, the modal
// dialogs of its own and the sign-in window, which opens the browser. Called
// through gSetupPlatform, which holds the real functions; a test may replace
// an entry. Beside them the helpers for the setup program's own boxes and help.
#pragma once

#include "sign_in_window.h"

#include <windows.h>
#include <commdlg.h>

#include <string>

struct SetupPlatformCalls {
    decltype(&::GetOpenFileNameA) GetOpenFileNameA;
    decltype(&::RegCreateKeyExA) RegCreateKeyExA;
    decltype(&::RegSetValueExA) RegSetValueExA;
    decltype(&::RegDeleteValueW) RegDeleteValueW;
    decltype(&::DialogBoxParamA) DialogBoxParamA;
    SignInWindowRunner RunSignInWindow;
};

// Process-wide so that a test can replace an entry for the whole program.
extern SetupPlatformCalls gSetupPlatform;

// The real functions, for a test that puts an entry back.
extern const SetupPlatformCalls kRealSetupPlatform;

// The program's file name without folder and extension ("KELVO" for
// C:\Quillo\KELVO.EXE): the caption of the setup program's own boxes.
std::string ProgramTitle();
