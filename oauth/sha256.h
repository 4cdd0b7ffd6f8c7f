// SHA-256 for the PKCE challenge, so that the portable core computes it and
// its tests run natively; only short texts are hashed, once per sign-in.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;

Sha256Digest Sha256(std::string_view data);
