// The platform calls of both programs whose effect a test must observe
// instead of a person: message boxes, process starts and exits, help. Each
// program calls them through gPlatform, which holds the real functions; a
// test may replace an entry. Calls that only one program makes sit in that
// program's own table (monitor/monitor_platform.h, setup/setup_platform.h),
// so that neither program imports the other's DLLs.
#pragma once

#include <windows.h>

struct PlatformCalls {
    decltype(&::MessageBoxA) MessageBoxA;
    decltype(&::CreateProcessA) CreateProcessA;
    decltype(&::ExitProcess) ExitProcess;
    decltype(&::WinHelpA) WinHelpA;
};

extern PlatformCalls gPlatform;

// The real functions, for a test that puts an entry back.
extern const PlatformCalls kRealPlatform;

// The caption of the monitor's boxes and of the configuration messages of
// both programs.
inline constexpr const char* kBoxCaption = "Quillo";

using ExitHook = void (*)();

// Runs right before a configuration failure ends the process; the monitor
// removes its tray icon here so that no dead icon stays behind.
extern ExitHook gBeforeConfigExit;

// Ends the process through gPlatform.ExitProcess.
[[noreturn]] void ExitProgram(UINT exitCode);

// Starts a program by its bare command line, detached, with inherited
// handles, in the caller's environment and folder; the system finds it
// beside the starting program first. False when it could not be started.
bool StartDetached(const char* commandLine);
