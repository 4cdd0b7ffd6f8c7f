// Reading the host list from the registry, for both programs.
#include "config_store.h"

#include "debug_trace.h"
#include "password_protection.h"
#include "password_scrambling.h"
#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Far more than a protected password of 98 characters takes (about 250
// bytes), and room for a protected refresh token, which some providers make
// a few kilobytes long.
constexpr DWORD kBytesLimit = 16384;

[[noreturn]] void StopAtMissingValue(const char* valueName)
{
    char message[128];
    std::snprintf(message, sizeof message, "Missing registry key: %s", valueName);
    gPlatform.MessageBoxA(nullptr, message, kBoxCaption, MB_OK | MB_ICONWARNING);
    ExitProgram(1);
}

// The provider and the token, after the values that the token is bound to.
// A host that signs in with a password may still have them, hand-written or
// left by a save that stopped halfway: its provider is read all the same and
// unused, and its token is not opened at all.
void ReadOAuthValues(HKEY key, int32_t index, HostConfig& host)
{
    const std::pair<const char*, std::string*> texts[] = {{kHostOAuthAuthorizeUrlPattern, &host.OAuth.AuthorizeUrl},
                                                          {kHostOAuthTokenUrlPattern, &host.OAuth.TokenUrl},
                                                          {kHostOAuthClientIdPattern, &host.OAuth.ClientId},
                                                          {kHostOAuthScopePattern, &host.OAuth.Scope},
                                                          {kHostOAuthDeviceUrlPattern, &host.OAuth.DeviceUrl}};
    for (const auto& [pattern, text] : texts)
        *text = ReadOptionalHostString(key, pattern, index);
    if (host.Auth == PasswordSignIn)
        return;
    host.StoredToken = ReadHostBytes(key, kHostOAuthTokenProtectedPattern, index);
    if (!host.StoredToken)
        return;
    if (std::optional<std::string> token = UnprotectToken(*host.StoredToken, host))
        host.RefreshToken = std::move(*token);
    else
        host.TokenLost = true;
}

HostConfig ReadTheRest(HKEY key, int32_t index, const DamagedNumberHandler& onDamaged, HostConfig host)
{
    host.MailReader = ReadHostString(key, kHostMailReaderPattern, index);
    host.MailWave = ReadHostString(key, kHostMailWavePattern, index);
    host.Action = ReadHostDword(key, kHostActionPattern, index, onDamaged);
    host.Delay = ReadHostDword(key, kHostDelayPattern, index, onDamaged);
    return host;
}

// The values of one host, in the order in which they are stored. A host that
// signs in with OAuth has no password to read.
HostConfig ReadHostConfig(HKEY key, int32_t index, DamagedNumberHandler onDamaged)
{
    HostConfig host;
    host.StoredIndex = index;
    host.Name = ReadHostString(key, kHostNamePattern, index);
    host.UserID = ReadHostString(key, kHostUserIDPattern, index);
    // Before the password, which is bound to them.
    host.Security = ReadOptionalHostDword(key, kHostSecurityPattern, index);
    host.Port = ReadOptionalHostDword(key, kHostPortPattern, index);
    host.Protocol = ReadOptionalHostDword(key, kHostProtocolPattern, index);
    host.Auth = ReadOptionalHostDword(key, kHostAuthPattern, index);
    ReadOAuthValues(key, index, host);
    if (host.Auth == OAuthSignIn)
        return ReadTheRest(key, index, onDamaged, std::move(host));
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
    return ReadTheRest(key, index, onDamaged, std::move(host));
}

struct StoredNumber {
    LONG result = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof data;

    bool absent() const { return result == ERROR_FILE_NOT_FOUND; }
    bool isNumber() const { return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof data; }
};

// Data larger than a number is not read at all (ERROR_MORE_DATA), but it is
// there.
StoredNumber QueryNumber(HKEY key, const char* valueName)
{
    StoredNumber number;
    number.result =
        RegQueryValueExA(key, valueName, nullptr, &number.type, reinterpret_cast<BYTE*>(&number.data), &number.size);
    return number;
}

// A text read whole, however long; nothing when it is absent or cannot be
// read.
std::optional<std::string> QueryText(HKEY key, const char* valueName)
{
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size);
    std::string data;
    // Another writer may make the value longer between the two queries.
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        data.resize(size);
        result = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
        if (result == ERROR_SUCCESS)
            break;
    }
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    // Data of any registry type is taken as raw bytes, up to a NUL inside
    // what was read.
    data.resize(std::min<size_t>(size, data.size()));
    data.resize(std::strlen(data.c_str()));
    return data;
}

}  // namespace

int32_t StopAtDamagedNumber(const char* pattern, int32_t index)
{
    StopAtMissingValue(HostValueName(pattern, index).text);
}

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
    const StoredNumber number = QueryNumber(key, valueName);
    if (number.isNumber())
        return static_cast<int32_t>(number.data);
    DebugTrace("Failed: [%s]", valueName);
    if (lstrcmpiA(valueName, kHostCountValue) == 0)
        return -1;
    StopAtMissingValue(valueName);
}

std::string ReadRegString(HKEY key, const char* valueName)
{
    std::optional<std::string> text = QueryText(key, valueName);
    if (!text)
        StopAtMissingValue(valueName);
    return std::move(*text);
}

int32_t ReadHostDword(HKEY key, const char* pattern, int32_t index, DamagedNumberHandler onDamaged)
{
    const ValueName name = HostValueName(pattern, index);
    const StoredNumber number = QueryNumber(key, name.text);
    if (number.isNumber())
        return static_cast<int32_t>(number.data);
    DebugTrace("Failed: [%s]", name.text);
    if (number.absent())
        StopAtMissingValue(name.text);
    return onDamaged(pattern, index);
}

int32_t ReadOptionalHostDword(HKEY key, const char* pattern, int32_t index)
{
    const StoredNumber number = QueryNumber(key, HostValueName(pattern, index).text);
    if (number.absent())
        return 0;
    return number.isNumber() ? static_cast<int32_t>(number.data) : kUnreadableDword;
}

std::string ReadHostString(HKEY key, const char* pattern, int32_t index)
{
    return ReadRegString(key, HostValueName(pattern, index).text);
}

std::string ReadOptionalHostString(HKEY key, const char* pattern, int32_t index)
{
    return QueryText(key, HostValueName(pattern, index).text).value_or(std::string());
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

std::vector<HostConfig> ReadHosts(HKEY key, int32_t count, DamagedNumberHandler onDamaged)
{
    std::vector<HostConfig> hosts;
    for (int32_t index = 0; index < count; ++index)
        hosts.push_back(ReadHostConfig(key, index, onDamaged));
    return hosts;
}
