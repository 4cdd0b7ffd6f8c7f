// Loading and saving the setup program's host list, and telling or starting
// the monitor after a save.
#include "setup_config.h"

#include "control_messages.h"
#include "debug_trace.h"
#include "password_scrambling.h"
#include "platform.h"
#include "setup_platform.h"
#include "win_handles.h"

std::vector<HostConfig> HostList;
int32_t ConfigDirty = 0;
int32_t NoSavedConfig = 0;

namespace {

bool WriteDword(HKEY key, const char* valueName, int32_t number)
{
    const DWORD data = static_cast<DWORD>(number);
    return gSetupPlatform.RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                         sizeof data) == ERROR_SUCCESS;
}

bool WriteHost(HKEY key, int32_t index, const HostConfig& host)
{
    const std::optional<std::string> scrambled = ScramblePassword(host.Password);
    return scrambled && WriteHostString(key, kHostNamePattern, index, host.Name) &&
           WriteHostString(key, kHostUserIDPattern, index, host.UserID) &&
           WriteHostString(key, kHostPasswordPattern, index, *scrambled) &&
           WriteHostString(key, kHostMailReaderPattern, index, host.MailReader) &&
           WriteHostString(key, kHostMailWavePattern, index, host.MailWave) &&
           WriteHostDword(key, kHostActionPattern, index, host.Action) &&
           WriteHostDword(key, kHostDelayPattern, index, host.Delay);
}

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

} // namespace

bool WriteHostString(HKEY key, const char* pattern, int32_t index, const std::string& text)
{
    return gSetupPlatform.RegSetValueExA(key, HostValueName(pattern, index).text, 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(text.c_str()),
                                         static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool WriteHostDword(HKEY key, const char* pattern, int32_t index, int32_t number)
{
    return WriteDword(key, HostValueName(pattern, index).text, number);
}

void LoadConfig()
{
    HostList.clear();
    UniqueRegKey key = OpenConfigKey();
    if (!key) {
        NoSavedConfig = 1;
        return;
    }
    int32_t count = ReadRegDword(key.get(), kHostCountValue);
    // Never written by us; a count below -1 means no count at all.
    if (count < -1)
        count = -1;
    if (count == -1) {
        NoSavedConfig = 1;
        return;
    }
    HostList = ReadHosts(key.get(), count);
    for (const HostConfig& host : HostList)
        DebugTrace("Decrypted pw: [%s]", host.Password.c_str());
}

bool SaveConfig()
{
    UniqueRegKey key;
    if (gSetupPlatform.RegCreateKeyExA(HKEY_CURRENT_USER, kConfigKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
        gPlatform.MessageBoxA(nullptr, "Unable to access registry (?!) for config info!", kBoxCaption,
                              MB_OK | MB_ICONWARNING);
        ExitProgram(1);
    }
    bool stored = true;
    for (int32_t index = 0; stored && index < HostCount(); ++index)
        stored = WriteHost(key.get(), index, HostList[index]);
    stored = stored && WriteDword(key.get(), kHostCountValue, HostCount());
    key.reset();
    if (!stored) {
        gPlatform.MessageBoxA(nullptr, "Unable to save the configuration!", kBoxCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    ConfigDirty = 0;
    if (!FindMonitor() && HostCount() > 0)
        LaunchMonitor();
    return true;
}

bool FindMonitor()
{
    bool found = false;
    EnumWindows(&PostNewConfigIfMonitor, reinterpret_cast<LPARAM>(&found));
    return found;
}

void LaunchMonitor()
{
    if (!StartDetached(kMonitorCommandLine))
        gPlatform.MessageBoxA(nullptr, "Unable to launch Quillo!", ProgramTitle().c_str(), MB_ICONERROR);
}
