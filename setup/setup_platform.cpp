// The setup program's real platform calls, and its own name for its boxes.
#include "setup_platform.h"

#include "platform.h"

const SetupPlatformCalls kRealSetupPlatform = {
    &::GetOpenFileNameA, &::RegCreateKeyExA, &::RegSetValueExA,
    &::RegDeleteValueW,  &::DialogBoxParamA, static_cast<SignInWindowRunner>(&::RunSignInWindow)};

SetupPlatformCalls gSetupPlatform = kRealSetupPlatform;

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
