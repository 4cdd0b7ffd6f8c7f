// The host list in the registry: HKEY_CURRENT_USER\Software\Vantorel Works\Quillo,
// "HostCount" and the values of each host, and the reading that both programs
// share. The setup program is the only writer (setup/setup_config.h); the
// monitor's load is in monitor/monitor_config.h.
#pragma once

#include "host_records.h"
#include "win_handles.h"

#include <windows.h>

#include <cstdint>
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

struct ValueName {
    char text[64];
};

// A pattern with the host's index in it.
ValueName HostValueName(const char* pattern, int32_t index);

// The key opened for reading and writing; empty when it does not exist.
UniqueRegKey OpenConfigKey();

// Readers. A value that is absent or does not fit is fatal: the box
// "Missing registry key: %s", then exit status 1. Only "HostCount" is
// allowed to be absent, and then reads as -1.
int32_t ReadRegDword(HKEY key, const char* valueName);
std::string ReadRegString(HKEY key, const char* valueName);
int32_t ReadHostDword(HKEY key, const char* pattern, int32_t index);
std::string ReadHostString(HKEY key, const char* pattern, int32_t index);

// The value's data as it is stored, never converted through the code page;
// nothing when the value is absent. Data too large to be ours reads as an
// empty value.
std::optional<std::string> ReadHostBytes(HKEY key, const char* pattern, int32_t index);

// The first `count` hosts with clear passwords, read one by one before each
// is kept, so that a hand-written count in the billions stops at the first
// missing value instead of allocating for it.
std::vector<HostConfig> ReadHosts(HKEY key, int32_t count);
