// Finding the running monitor and starting one program from the other.
#include "control_messages.h"

#include "platform.h"
#include "win_handles.h"

namespace {

BOOL CALLBACK PostNewConfigIfMonitor(HWND window, LPARAM found)
{
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpiA(title, kMonitorWindowName) != 0)
        return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    PostMessageA(window, UM_NEWCONFIG, 0, 0);
    return FALSE;
}

// Detached, with inherited handles, in the caller's environment and folder;
// the program is searched beside the starting one first. The handles of the
// new process are of no use to the starter and are closed at once.
bool StartDetached(const char* commandLine)
{
    char command[MAX_PATH];
    lstrcpynA(command, commandLine, sizeof command);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!Platform.CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                                 &startup, &process))
        return false;
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    return true;
}

} // namespace

bool FindMonitor()
{
    bool found = false;
    EnumWindows(&PostNewConfigIfMonitor, reinterpret_cast<LPARAM>(&found));
    return found;
}

void LaunchMonitor()
{
    if (!StartDetached(kMonitorCommandLine))
        Platform.MessageBoxA(nullptr, "Unable to launch Quillo!", ProgramTitle().c_str(), MB_ICONERROR);
}

void LaunchSetup()
{
    if (!StartDetached(kSetupCommandLine))
        Platform.MessageBoxA(nullptr, "Unable to launch Kelvo setup program!", "Quillo", MB_ICONERROR);
}
