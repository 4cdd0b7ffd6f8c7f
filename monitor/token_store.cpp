// Storing a rotated refresh token in the registry.
#include "token_store.h"

#include "config_store.h"
#include "password_protection.h"

#include <optional>
#include <string>

namespace {

// Whether the host at the index is still the one the monitor read there: the
// values that the token is bound to, read as ReadHosts reads them.
bool StillStored(HKEY key, int32_t index, const HostConfig& host)
{
    if (index < 0 || index >= ReadRegDword(key, kHostCountValue) ||
        ReadOptionalHostDword(key, kHostAuthPattern, index) != OAuthSignIn)
        return false;
    HostConfig stored;
    stored.Name = ReadOptionalHostString(key, kHostNamePattern, index);
    stored.UserID = ReadOptionalHostString(key, kHostUserIDPattern, index);
    stored.Security = ReadOptionalHostDword(key, kHostSecurityPattern, index);
    stored.Port = ReadOptionalHostDword(key, kHostPortPattern, index);
    stored.Protocol = ReadOptionalHostDword(key, kHostProtocolPattern, index);
    stored.OAuth.TokenUrl = ReadOptionalHostString(key, kHostOAuthTokenUrlPattern, index);
    stored.OAuth.ClientId = ReadOptionalHostString(key, kHostOAuthClientIdPattern, index);
    return TokenBinding(stored) == TokenBinding(host);
}

}  // namespace

bool StoreRefreshToken(const HostConfig& host, int32_t index)
{
    const UniqueRegKey key = OpenConfigKey();
    if (!key || !StillStored(key.get(), index, host))
        return false;
    const std::optional<std::string> sealed = ProtectToken(host);
    return sealed && RegSetValueExA(key.get(), HostValueName(kHostOAuthTokenProtectedPattern, index).text, 0,
                                    REG_BINARY, reinterpret_cast<const BYTE*>(sealed->data()),
                                    static_cast<DWORD>(sealed->size())) == ERROR_SUCCESS;
}
