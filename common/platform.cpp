// The real platform calls of both programs, and the helpers built on them.
#include "platform.h"

#include "win_handles.h"

#include <cstdlib>

const PlatformCalls kRealPlatform = {&::MessageBoxA, &::CreateProcessA, &::ExitProcess, &::WinHelpA};

PlatformCalls gPlatform = kRealPlatform;

ExitHook gBeforeConfigExit = nullptr;

void ExitProgram(UINT exitCode)
{
    if (gBeforeConfigExit != nullptr)
        gBeforeConfigExit();
    gPlatform.ExitProcess(exitCode);
    // Only a test's replacement of ExitProcess returns; it must not go on.
    std::abort();
}

bool StartDetached(const char* commandLine)
{
    char command[MAX_PATH];
    lstrcpynA(command, commandLine, sizeof command);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!gPlatform.CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                                  &startup, &process))
        return false;
    // The handles of the new process are of no use to the starter.
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    return true;
}
