// Direct access to the configuration key, for tests that arrange or inspect
// what the programs read and write.
#pragma once

#include "config_store.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct RawValue {
    DWORD type;
    std::string data;
};

// Removes the key (it has no subkeys) so that a test starts as on a first run.
void DeleteConfigKey();

void WriteRawValue(const std::string& name, DWORD type, const std::string& data);
void WriteDwordValue(const std::string& name, int32_t number);
void WriteTextValue(const std::string& name, const std::string& text);  // with its NUL
void DeleteValue(const std::string& name);
std::optional<RawValue> ReadRawValue(const std::string& name);
std::vector<std::string> ValueNames();

// Stores hosts the way older versions of the setup program did (the
// password scrambled, no protected one) and the count.
void StoreHosts(const std::vector<HostConfig>& hosts);

// Adds to a host that StoreHosts stored at the index what the setup program
// saves today: its security, port and protocol, and for an OAuth host its
// sign-in method, provider and, when it has one, its protected refresh token.
void StoreNewerValues(int index, const HostConfig& host);

// The protected password of a host opened for the name, user id, security
// mode, port and protocol stored beside it; nothing when it is absent or
// cannot be opened.
std::optional<std::string> OpenedPassword(int index);

HostConfig SampleHost(int number);
