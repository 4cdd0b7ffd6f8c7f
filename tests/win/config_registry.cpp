#include "config_registry.h"

#include "password_protection.h"
#include "password_scrambling.h"
#include "win_handles.h"

#include <gtest/gtest.h>

namespace {

UniqueRegKey CreateKey()
{
    UniqueRegKey key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kConfigKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.receive(),
                              nullptr),
              ERROR_SUCCESS);
    return key;
}

std::string Indexed(const char* pattern, int index)
{
    char name[64];
    snprintf(name, sizeof name, pattern, index);
    return name;
}

}  // namespace

void DeleteConfigKey()
{
    const LONG result = RegDeleteKeyA(HKEY_CURRENT_USER, kConfigKeyPath);
    ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << result;
}

void WriteRawValue(const std::string& name, DWORD type, const std::string& data)
{
    UniqueRegKey key = CreateKey();
    ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

void WriteDwordValue(const std::string& name, int32_t number)
{
    WriteRawValue(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number));
}

void WriteTextValue(const std::string& name, const std::string& text)
{
    WriteRawValue(name, REG_SZ, text + '\0');
}

void DeleteValue(const std::string& name)
{
    UniqueRegKey key = CreateKey();
    ASSERT_EQ(RegDeleteValueA(key.get(), name.c_str()), ERROR_SUCCESS) << name;
}

std::optional<RawValue> ReadRawValue(const std::string& name)
{
    UniqueRegKey key = CreateKey();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return RawValue{type, data};
}

std::vector<std::string> ValueNames()
{
    UniqueRegKey key = CreateKey();
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumValueA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

void StoreHosts(const std::vector<HostConfig>& hosts)
{
    for (size_t i = 0; i < hosts.size(); ++i) {
        const int index = static_cast<int>(i);
        const HostConfig& host = hosts[i];
        WriteTextValue(Indexed(kHostNamePattern, index), host.Name);
        WriteTextValue(Indexed(kHostUserIDPattern, index), host.UserID);
        WriteTextValue(Indexed(kHostPasswordPattern, index), ScramblePassword(host.Password).value());
        WriteTextValue(Indexed(kHostMailReaderPattern, index), host.MailReader);
        WriteTextValue(Indexed(kHostMailWavePattern, index), host.MailWave);
        WriteDwordValue(Indexed(kHostActionPattern, index), host.Action);
        WriteDwordValue(Indexed(kHostDelayPattern, index), host.Delay);
    }
    WriteDwordValue(kHostCountValue, static_cast<int32_t>(hosts.size()));
}

void StoreNewerValues(int index, const HostConfig& host)
{
    WriteDwordValue(Indexed(kHostSecurityPattern, index), host.Security);
    WriteDwordValue(Indexed(kHostPortPattern, index), host.Port);
    WriteDwordValue(Indexed(kHostProtocolPattern, index), host.Protocol);
    WriteDwordValue(Indexed(kHostAuthPattern, index), host.Auth);
    if (host.Auth != OAuthSignIn)
        return;
    WriteTextValue(Indexed(kHostOAuthAuthorizeUrlPattern, index), host.OAuth.AuthorizeUrl);
    WriteTextValue(Indexed(kHostOAuthTokenUrlPattern, index), host.OAuth.TokenUrl);
    WriteTextValue(Indexed(kHostOAuthClientIdPattern, index), host.OAuth.ClientId);
    WriteTextValue(Indexed(kHostOAuthScopePattern, index), host.OAuth.Scope);
    WriteTextValue(Indexed(kHostOAuthDeviceUrlPattern, index), host.OAuth.DeviceUrl);
    if (!host.RefreshToken.empty())
        WriteRawValue(Indexed(kHostOAuthTokenProtectedPattern, index), REG_BINARY, ProtectToken(host).value());
}

std::optional<std::string> OpenedPassword(int index)
{
    const std::optional<RawValue> name = ReadRawValue(Indexed(kHostNamePattern, index));
    const std::optional<RawValue> user = ReadRawValue(Indexed(kHostUserIDPattern, index));
    const std::optional<RawValue> blob = ReadRawValue(Indexed(kHostPasswordProtectedPattern, index));
    if (!name || !user || !blob)
        return std::nullopt;
    HostConfig host;
    host.Name = name->data.substr(0, name->data.find('\0'));
    host.UserID = user->data.substr(0, user->data.find('\0'));
    // Absent in a list of an older version: 0.
    for (const auto& [pattern, number] : {std::pair{kHostSecurityPattern, &host.Security},
                                          {kHostPortPattern, &host.Port},
                                          {kHostProtocolPattern, &host.Protocol}}) {
        const std::optional<RawValue> value = ReadRawValue(Indexed(pattern, index));
        if (value && value->data.size() == sizeof *number)
            memcpy(number, value->data.data(), sizeof *number);
    }
    return UnprotectPassword(blob->data, host);
}

HostConfig SampleHost(int number)
{
    const std::string n = std::to_string(number);
    return HostConfig{"pop" + n + ".example.org",      "user" + n, "Secret" + n,     "C:\\Mail\\reader" + n + ".exe",
                      "C:\\Sounds\\ding" + n + ".wav", number % 3, 30 * (number + 1)};
}
