// Storing the refresh token that a provider handed the monitor in place of
// the old one. Everything else in the list is the setup program's to write.
#pragma once

#include "host_records.h"

#include <cstdint>

// Protects the host's RefreshToken and stores it as the
// "Host%dOAuthTokenProtected" of the index given, in one write of the whole
// value, so that a reader finds the old token or the new, never a mix.
// Nothing is written, and false returned, when the values at that index no
// longer name the host that the token is bound to, or no longer sign in with
// OAuth (the setup program saved another list since the monitor read it), or
// when Windows or the registry refuses.
bool StoreRefreshToken(const HostConfig& host, int32_t index);
