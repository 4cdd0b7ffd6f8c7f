// The setup program's real platform calls, and its own names for its boxes
// and help file.
#include "setup_platform.h"

const SetupPlatformCalls kRealSetupPlatform = {&::GetOpenFileNameA, &::RegCreateKeyExA, &::RegSetValueExA};

SetupPlatformCalls gSetupPlatform = kRealSetupPlatform;

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
