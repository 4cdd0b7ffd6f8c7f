// Reading and writing the host list in the registry, for both programs.
#include "config_store.h"

#include "control_messages.h"
#include "debug_trace.h"
#include "password_scrambling.h"
#include "platform.h"
#include "win_handles.h"

#include <cstdio>
#include <cstring>

HostTable gHostTable;

std::vector<HostConfig> HostList;
int32_t ConfigDirty = 0;
int32_t NoSavedConfig = 0;

namespace {

// A stored text holds at most 98 characters and its terminating NUL.
constexpr DWORD kTextBufferSize = 99;

struct ValueName {
    char text[64];
};

ValueName HostValueName(const char* pattern, int32_t index)
{
    ValueName name{};
    std::snprintf(name.text, sizeof name.text, pattern, index);
    return name;
}

[[noreturn]] void StopAtMissingValue(const char* valueName)
{
    char message[128];
    std::snprintf(message, sizeof message, "Missing registry key: %s", valueName);
    Platform.MessageBoxA(nullptr, message, "Quillo", MB_OK | MB_ICONWARNING);
    ExitProgram(1);
}

UniqueRegKey OpenConfigKey()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kConfigKeyPath, 0, KEY_ALL_ACCESS, key.receive()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

// The values of one host, in the order in which they are stored.
HostConfig ReadHostConfig(HKEY key, int32_t index)
{
    HostConfig host;
    host.Name = ReadHostString(key, kHostNamePattern, index);
    host.UserID = ReadHostString(key, kHostUserIDPattern, index);
    host.Password = UnscramblePassword(ReadHostString(key, kHostPasswordPattern, index));
    host.MailReader = ReadHostString(key, kHostMailReaderPattern, index);
    host.MailWave = ReadHostString(key, kHostMailWavePattern, index);
    host.Action = ReadHostDword(key, kHostActionPattern, index);
    host.Delay = ReadHostDword(key, kHostDelayPattern, index);
    return host;
}

// Reads each host before it is kept, so that a hand-written count in the
// billions stops at the first missing value instead of allocating for it.
std::vector<HostConfig> ReadHosts(HKEY key, int32_t count)
{
    std::vector<HostConfig> hosts;
    for (int32_t index = 0; index < count; ++index)
        hosts.push_back(ReadHostConfig(key, index));
    return hosts;
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

bool WriteDword(HKEY key, const char* valueName, int32_t number)
{
    const DWORD data = static_cast<DWORD>(number);
    return Platform.RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                   sizeof data) == ERROR_SUCCESS;
}

} // namespace

int32_t ReadRegDword(HKEY key, const char* valueName)
{
    DWORD data = 0;
    DWORD size = sizeof data;
    const LONG result =
        RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    if (result == ERROR_SUCCESS && size == sizeof data)
        return static_cast<int32_t>(data);
    DebugTrace("Failed: [%s]", valueName);
    if (lstrcmpiA(valueName, kHostCountValue) == 0)
        return -1;
    StopAtMissingValue(valueName);
}

std::string ReadRegString(HKEY key, const char* valueName)
{
    char data[kTextBufferSize];
    DWORD size = sizeof data;
    const LONG result = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    // Data of any registry type is taken as raw bytes, but only up to a NUL
    // inside what was read.
    const void* end = result == ERROR_SUCCESS ? std::memchr(data, '\0', size) : nullptr;
    if (end == nullptr)
        StopAtMissingValue(valueName);
    return std::string(static_cast<const char*>(data), static_cast<const char*>(end));
}

int32_t ReadHostDword(HKEY key, const char* pattern, int32_t index)
{
    return ReadRegDword(key, HostValueName(pattern, index).text);
}

std::string ReadHostString(HKEY key, const char* pattern, int32_t index)
{
    return ReadRegString(key, HostValueName(pattern, index).text);
}

bool WriteHostString(HKEY key, const char* pattern, int32_t index, const std::string& text)
{
    return Platform.RegSetValueExA(key, HostValueName(pattern, index).text, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool WriteHostDword(HKEY key, const char* pattern, int32_t index, int32_t number)
{
    return WriteDword(key, HostValueName(pattern, index).text, number);
}

void LoadHostTable()
{
    UniqueRegKey key = OpenConfigKey();
    if (!key) {
        LaunchSetup();
        ExitProgram(1);
    }
    const int32_t count = ReadRegDword(key.get(), kHostCountValue);
    DebugTrace("nHosts: %d", count);
    if (count <= 0) {
        key.reset();
        LaunchSetup();
        ExitProgram(1);
    }
    std::vector<HostConfig> hosts = ReadHosts(key.get(), count);
    key.reset();

    auto entries = std::make_unique<HostEntry[]>(count);
    for (int32_t index = 0; index < count; ++index) {
        static_cast<HostConfig&>(entries[index]) = std::move(hosts[index]);
        entries[index].Index = index;
    }
    gHostTable.Entries = std::move(entries);
    gHostTable.Count = count;
}

void FreeHostTable()
{
    gHostTable.Count = 0;
    gHostTable.Entries.reset();
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
    if (Platform.RegCreateKeyExA(HKEY_CURRENT_USER, kConfigKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
        Platform.MessageBoxA(nullptr, "Unable to access registry (?!) for config info!", "Quillo",
                             MB_OK | MB_ICONWARNING);
        ExitProgram(1);
    }
    bool stored = true;
    for (int32_t index = 0; stored && index < HostCount(); ++index)
        stored = WriteHost(key.get(), index, HostList[index]);
    stored = stored && WriteDword(key.get(), kHostCountValue, HostCount());
    key.reset();
    if (!stored) {
        Platform.MessageBoxA(nullptr, "Unable to save the configuration!", "Quillo", MB_OK | MB_ICONWARNING);
        return false;
    }
    ConfigDirty = 0;
    if (!FindMonitor() && HostCount() > 0)
        LaunchMonitor();
    return true;
}
