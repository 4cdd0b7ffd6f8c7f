// The platform calls of both programs whose effect a test must observe
// instead of a person: message boxes, process starts and exits, help. Each
// program calls them through gPlatform, which holds the real functions; a
// test may replace an entry. Calls that only one program makes sit in that
// program's own table (monitor/monitor_platform.h, setup/setup_platform.h),
// so that neither program imports the other's DLLs.
#pragma once

#include <windows.h>

#include <string>

// HtmlHelpA of the system's help viewer (hhctrl.ocx).
using HtmlHelpCall = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

struct PlatformCalls {
    decltype(&::MessageBoxA) MessageBoxA;
    decltype(&::CreateProcessA) CreateProcessA;
    decltype(&::ExitProcess) ExitProcess;
    HtmlHelpCall HtmlHelpA;
};

// Process-wide so that a test can replace an entry for the whole program.
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

// The real HtmlHelpA: the viewer is loaded on first use from the system
// folder only, so that neither program imports it. Null, and the viewer is not asked, when the help file
// is not there: the viewer would show an error box of its own. Closing
// (HH_CLOSE_ALL) loads nothing.
HWND WINAPI OpenHtmlHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

// The running program's own path.
std::string ModulePath();

// The help file of both programs: kelvo.chm in the running program's folder.
std::string HelpFilePath();

inline constexpr const char* kHelpFailedText = "Failed to launch help.";

// Opens the help at a topic number; false when the viewer or the file
// cannot be opened.
bool ShowHelpTopic(HWND owner, UINT topic);

// Closes every help window that this program opened.
void CloseHelp();

// Starts a program by its bare command line, detached, in the caller's
// environment and folder, and passes it none of the caller's handles; the
// system finds it beside the starting program first. False when it could
// not be started.
bool StartDetached(const char* commandLine);

// Whether the path names an existing file (a folder is none).
bool NamesExistingFile(const std::string& path);
