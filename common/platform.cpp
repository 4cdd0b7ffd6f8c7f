// The real platform calls, and the few helpers built on them.
#include "platform.h"

#include <cstdlib>

const PlatformCalls RealPlatform = {
    &::MessageBoxA, &::CreateProcessA, &::ExitProcess,   &::WinHelpA,         &::Shell_NotifyIconA,
    &::sndPlaySoundA, &::MessageBeep, &::GetOpenFileNameA, &::RegCreateKeyExA, &::RegSetValueExA,
};

PlatformCalls Platform = RealPlatform;

ExitHook BeforeConfigExit = nullptr;

void ExitProgram(UINT exitCode)
{
    if (BeforeConfigExit != nullptr)
        BeforeConfigExit();
    Platform.ExitProcess(exitCode);
    // Only a test's replacement of ExitProcess returns; it must not go on.
    std::abort();
}

namespace {

std::string ModulePath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

} // namespace

std::string ProgramTitle()
{
    std::string name = ModulePath();
    const size_t slash = name.find_last_of("\\/:");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

std::string ProgramHelpFile()
{
    std::string path = ModulePath();
    const size_t slash = path.find_last_of("\\/:");
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        path.erase(dot);
    return path + ".HLP";
}
