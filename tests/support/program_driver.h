// Driving a real program under Wine from another process, the way a user,
// the other program or the desktop would reach it: start it, find its
// windows, read and answer its boxes, wait for its exit status.
#pragma once

#include "win_handles.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class ProgramProcess {
public:
    // Starts `program` (a full path) with the command line given (the quoted
    // path when empty) in the folder given (ours when empty).
    explicit ProgramProcess(const std::string& program, const std::string& commandLine = "",
                            const std::string& folder = "");
    // A program that another one started, held by the process of its window.
    explicit ProgramProcess(HWND window);
    ~ProgramProcess();  // a program still running is killed, and its end awaited
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool started() const { return static_cast<bool>(process_); }
    DWORD id() const { return id_; }
    bool Running() const;

    // The exit status once the program has ended within timeoutMs. Messages
    // sent to this thread's windows meanwhile are answered.
    std::optional<DWORD> ExitStatus(DWORD timeoutMs) const;

    // A top-level window of the program by class and title (null: any title).
    HWND FindWindowOf(const char* className, const char* title) const;
    HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs = 10000) const;
    // The same once it shows: a dialog is filled and takes clicks only then.
    HWND WaitForShownWindow(const char* className, const char* title, DWORD timeoutMs = 10000) const;

    // Every top-level window of the program of that class (message boxes are "#32770").
    std::vector<HWND> WindowsOf(const char* className) const;

    // A message box of the program once it shows its text (a box is found
    // before its controls exist).
    HWND WaitForBox(DWORD timeoutMs = 10000) const;

private:
    UniqueKernelHandle process_;
    DWORD id_ = 0;
};

// Top-level windows of any process with that class and title (null: any),
// as the desktop sees them.
std::vector<HWND> DesktopWindows(const char* className, const char* title);

// The folder of the running test program, with its trailing backslash.
std::string TestProgramFolder();

std::string TextOf(HWND window);

// The text of a message box (its static control 0xFFFF).
std::string BoxText(HWND box);

// Clicks a button of another process's dialog without waiting for what the
// click opens.
void ClickButton(HWND dialog, int buttonId);

// Wine hands list box texts across processes as UTF-16 only.
std::vector<std::string> ListEntries(HWND list);

// Icons in Wine's own notification area (the "Wine System Tray" window on a
// desktop without a shell of its own); 0 while that window does not exist.
int TrayIcons();
bool WaitForTrayIcons(int count, DWORD timeoutMs = 5000);
extern const char* const kNoTrayWindow;

// Polls `condition` every 20 ms until it holds or timeoutMs have passed.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}
