// Reading the host list from the registry, for both programs.
#include "config_store.h"

#include "debug_trace.h"
#include "password_protection.h"
#include "password_scrambling.h"
#include "platform.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// A stored text holds at most 98 characters and its terminating NUL.
constexpr DWORD kTextBufferSize = 99;

// Far more than a protected password of 98 characters takes (about 250 bytes).
constexpr DWORD kBytesLimit = 4096;

[[noreturn]] void StopAtMissingValue(const char* valueName)
{
    char message[128];
    std::snprintf(message, sizeof message, "Missing registry key: %s", valueName);
    gPlatform.MessageBoxA(nullptr, message, kBoxCaption, MB_OK | MB_ICONWARNING);
    ExitProgram(1);
}

// The values of one host, in the order in which they are stored.
HostConfig ReadHostConfig(HKEY key, int32_t index)
{
    HostConfig host;
    host.Name = ReadHostString(key, kHostNamePattern, index);
    host.UserID = ReadHostString(key, kHostUserIDPattern, index);
    // Before the password, which is bound to them.
    host.Security = ReadOptionalHostDword(key, kHostSecurityPattern, index);
    host.Port = ReadOptionalHostDword(key, kHostPortPattern, index);
    host.Protocol = ReadOptionalHostDword(key, kHostProtocolPattern, index);
    // A protected password that cannot be opened is never replaced by the
    // scrambled one beside it: that may belong to another host, left there
    // by a save that failed halfway.
    if (const std::optional<std::string> blob = ReadHostBytes(key, kHostPasswordProtectedPattern, index)) {
        if (std::optional<std::string> clear = UnprotectPassword(*blob, host))
            host.Password = std::move(*clear);
        else
            host.PasswordLost = true;
    } else {
        // Written by an older version through the code page, so it is read
        // back the same way, and then held as every password is: in UTF-8.
        host.Password = AnsiPasswordToUtf8(UnscramblePassword(ReadHostString(key, kHostPasswordPattern, index)));
    }
    host.MailReader = ReadHostString(key, kHostMailReaderPattern, index);
    host.MailWave = ReadHostString(key, kHostMailWavePattern, index);
    host.Action = ReadHostDword(key, kHostActionPattern, index);
    host.Delay = ReadHostDword(key, kHostDelayPattern, index);
    return host;
}

} // namespace

ValueName HostValueName(const char* pattern, int32_t index)
{
    ValueName name{};
    std::snprintf(name.text, sizeof name.text, pattern, index);
    return name;
}

UniqueRegKey OpenConfigKey()
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kConfigKeyPath, 0, KEY_ALL_ACCESS, key.receive()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

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

int32_t ReadOptionalHostDword(HKEY key, const char* pattern, int32_t index)
{
    DWORD data = 0;
    DWORD size = sizeof data;
    const LONG result = RegQueryValueExA(key, HostValueName(pattern, index).text, nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(&data), &size);
    if (result == ERROR_FILE_NOT_FOUND)
        return 0;
    if (result != ERROR_SUCCESS || size != sizeof data)
        return kUnreadableDword;
    return static_cast<int32_t>(data);
}

std::string ReadHostString(HKEY key, const char* pattern, int32_t index)
{
    return ReadRegString(key, HostValueName(pattern, index).text);
}

std::optional<std::string> ReadHostBytes(HKEY key, const char* pattern, int32_t index)
{
    const ValueName name = HostValueName(pattern, index);
    DWORD size = 0;
    if (RegQueryValueExA(key, name.text, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (size > kBytesLimit)
        return std::string();
    std::string data(size, '\0');
    if (RegQueryValueExA(key, name.text, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::string();
    data.resize(size);
    return data;
}

std::vector<HostConfig> ReadHosts(HKEY key, int32_t count)
{
    std::vector<HostConfig> hosts;
    for (int32_t index = 0; index < count; ++index)
        hosts.push_back(ReadHostConfig(key, index));
    return hosts;
}
