// The host list in the registry: HKEY_CURRENT_USER\Software\Vantorel Works\Quillo,
// "HostCount" and the values of each host, and the reading that both programs
// share. The setup program is the only writer (setup/setup_config.h); the
// monitor's load is in monitor/monitor_config.h.
#pragma once

#include "host_records.h"
#include "win_handles.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kConfigKeyPath = "Software\\Vantorel Works\\Quillo";
inline constexpr const char* kHostCountValue = "HostCount";

// Value-name patterns; %d takes the host's index.
inline constexpr const char* kHostNamePattern = "Host%dName";
inline constexpr const char* kHostUserIDPattern = "Host%dUserID";
// The scrambled password of older versions; written as an empty string now.
inline constexpr const char* kHostPasswordPattern = "Host%dPassword";
// The password protected by Windows (REG_BINARY, see password_protection.h).
inline constexpr const char* kHostPasswordProtectedPattern = "Host%dPasswordProtected";
inline constexpr const char* kHostMailReaderPattern = "Host%dMailReader";
inline constexpr const char* kHostMailWavePattern = "Host%dMailWave";
inline constexpr const char* kHostActionPattern = "Host%dAction";
inline constexpr const char* kHostDelayPattern = "Host%dDelay";
// Optional (absent in configurations of older versions): a SecurityMode, a
// port (0 for the default of the mode and protocol) and a MailProtocol.
inline constexpr const char* kHostSecurityPattern = "Host%dSecurity";
inline constexpr const char* kHostPortPattern = "Host%dPort";
inline constexpr const char* kHostProtocolPattern = "Host%dProtocol";
// Optional as well: the SignInMethod (absent: a password), the OAuth 2.0
// provider's values, and the refresh token protected like the password
// (REG_BINARY). No password is stored for a host that signs in with OAuth.
inline constexpr const char* kHostAuthPattern = "Host%dAuth";
inline constexpr const char* kHostOAuthAuthorizeUrlPattern = "Host%dOAuthAuthorizeUrl";
inline constexpr const char* kHostOAuthTokenUrlPattern = "Host%dOAuthTokenUrl";
inline constexpr const char* kHostOAuthClientIdPattern = "Host%dOAuthClientId";
inline constexpr const char* kHostOAuthScopePattern = "Host%dOAuthScope";
inline constexpr const char* kHostOAuthDeviceUrlPattern = "Host%dOAuthDeviceUrl";
inline constexpr const char* kHostOAuthTokenProtectedPattern = "Host%dOAuthTokenProtected";

// What an optional number stored in a form that is no number reads as: out of
// range for the security mode, the port and the protocol alike, so that such
// a host's check fails at once with that value's own text instead of
// falling back to plain POP3 on port 110.
inline constexpr int32_t kUnreadableDword = -1;

struct ValueName {
    char text[64];
};

// A pattern with the host's index in it.
ValueName HostValueName(const char* pattern, int32_t index);

// The key opened for reading and writing; empty when it does not exist.
UniqueRegKey OpenConfigKey();

// A required number stored as anything but a REG_DWORD of 4 bytes: what the
// reading program goes on with, or it ends the process. Guessing a number
// from other data would turn the text "995" into 3488057. It may carry
// state: the setup program's marks the list it loads as changed.
using DamagedNumberHandler = std::function<int32_t(const char* pattern, int32_t index)>;

// The monitor's way: the box "Missing registry key: %s", then exit status 1.
int32_t StopAtDamagedNumber(const char* pattern, int32_t index);

// Readers. A value that is absent is fatal: the box "Missing registry key:
// %s", then exit status 1. Only "HostCount" is allowed to be absent, and then
// reads as -1, as does a count that is no REG_DWORD of 4 bytes.
int32_t ReadRegDword(HKEY key, const char* valueName);
// Texts are read whole, however long, up to their first NUL.
std::string ReadRegString(HKEY key, const char* valueName);
int32_t ReadHostDword(HKEY key, const char* pattern, int32_t index,
                      DamagedNumberHandler onDamaged = &StopAtDamagedNumber);
// A number that may be absent, and then reads as 0; never reported as
// missing. Anything but a REG_DWORD of 4 bytes reads as kUnreadableDword.
int32_t ReadOptionalHostDword(HKEY key, const char* pattern, int32_t index);
std::string ReadHostString(HKEY key, const char* pattern, int32_t index);
// A text that may be absent, and then reads as empty; never reported as
// missing. Read whole, like every text.
std::string ReadOptionalHostString(HKEY key, const char* pattern, int32_t index);

// The value's data as it is stored, never converted through the code page;
// nothing when the value is absent. Data too large to be ours reads as an
// empty value.
std::optional<std::string> ReadHostBytes(HKEY key, const char* pattern, int32_t index);

// The first `count` hosts with clear passwords and refresh tokens (no
// password for a host that signs in with OAuth), read one by one before each
// is kept, so that a hand-written count in the billions stops at the first
// missing value instead of allocating for it.
std::vector<HostConfig> ReadHosts(HKEY key, int32_t count, DamagedNumberHandler onDamaged = &StopAtDamagedNumber);
