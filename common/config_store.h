// The host list in the registry: HKEY_CURRENT_USER\Software\Vantorel Works\Quillo,
// "HostCount" and seven values per host. The setup program is the only writer.
#pragma once

#include "host_records.h"

#include <windows.h>

#include <cstdint>
#include <vector>

inline constexpr const char* kConfigKeyPath = "Software\\Vantorel Works\\Quillo";
inline constexpr const char* kHostCountValue = "HostCount";

// Value-name patterns; %d takes the host's index.
inline constexpr const char* kHostNamePattern = "Host%dName";
inline constexpr const char* kHostUserIDPattern = "Host%dUserID";
inline constexpr const char* kHostPasswordPattern = "Host%dPassword";
inline constexpr const char* kHostMailReaderPattern = "Host%dMailReader";
inline constexpr const char* kHostMailWavePattern = "Host%dMailWave";
inline constexpr const char* kHostActionPattern = "Host%dAction";
inline constexpr const char* kHostDelayPattern = "Host%dDelay";

// Readers. A value that is absent or does not fit is fatal: the box
// "Missing registry key: %s", then exit status 1. Only "HostCount" is
// allowed to be absent, and then reads as -1.
int32_t ReadRegDword(HKEY key, const char* valueName);
std::string ReadRegString(HKEY key, const char* valueName);
int32_t ReadHostDword(HKEY key, const char* pattern, int32_t index);
std::string ReadHostString(HKEY key, const char* pattern, int32_t index);

// Writers (setup program); true when the value was stored.
bool WriteHostString(HKEY key, const char* pattern, int32_t index, const std::string& text);
bool WriteHostDword(HKEY key, const char* pattern, int32_t index, int32_t number);

// --- The monitor -----------------------------------------------------------

extern HostTable gHostTable;

// Fills gHostTable or ends the process: with no key or no hosts it starts
// the setup program and ends with exit status 1.
void LoadHostTable();
void FreeHostTable();

// --- The setup program -----------------------------------------------------

extern std::vector<HostConfig> HostList;
extern int32_t ConfigDirty;    // unsaved changes exist
extern int32_t NoSavedConfig;  // the key or "HostCount" was missing: a first run

inline int32_t HostCount() { return static_cast<int32_t>(HostList.size()); }

void LoadConfig();

// Writes every host, then "HostCount", so that a save cut short never leaves
// a count pointing at missing values; then tells or starts the monitor. When
// a value cannot be stored it says so, leaves ConfigDirty set and returns
// false without telling the monitor.
bool SaveConfig();
