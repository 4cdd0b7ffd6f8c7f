// The platform calls whose effect a test must observe instead of a person
// (message boxes, process starts and exits, help, the tray, sound, the Open
// dialog, registry writes). Each program calls them through Platform, which
// holds the real functions; a test may replace an entry.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <string>

struct PlatformCalls {
    decltype(&::MessageBoxA) MessageBoxA;
    decltype(&::CreateProcessA) CreateProcessA;
    decltype(&::ExitProcess) ExitProcess;
    decltype(&::WinHelpA) WinHelpA;
    decltype(&::Shell_NotifyIconA) Shell_NotifyIconA;
    decltype(&::sndPlaySoundA) sndPlaySoundA;
    decltype(&::MessageBeep) MessageBeep;
    decltype(&::GetOpenFileNameA) GetOpenFileNameA;
    decltype(&::RegCreateKeyExA) RegCreateKeyExA;
    decltype(&::RegSetValueExA) RegSetValueExA;
};

extern PlatformCalls Platform;

// The real functions, for a test that puts an entry back.
extern const PlatformCalls RealPlatform;

using ExitHook = void (*)();

// Runs right before a configuration failure ends the process; the monitor
// removes its tray icon here so that no dead icon stays behind.
extern ExitHook BeforeConfigExit;

// Ends the process through Platform.ExitProcess.
[[noreturn]] void ExitProgram(UINT exitCode);

// The program's file name without folder and extension ("KELVO" for
// C:\Quillo\KELVO.EXE): the caption of the setup program's own boxes.
std::string ProgramTitle();

// The program's own path with its extension replaced by ".HLP".
std::string ProgramHelpFile();
