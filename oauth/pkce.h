// The secrets of one sign-in, made from random bytes that the caller draws
// (BCryptGenRandom at the Windows edge): the PKCE verifier and its S256
// challenge, and the state that ties the browser's return to this sign-in.
// Portable.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// base64url without padding, as PKCE and the state are written.
std::string Base64Url(std::span<const uint8_t> bytes);

// The code verifier: 32 random bytes as 43 characters of base64url.
std::string PkceVerifier(std::span<const uint8_t, 32> randomBytes);

// The S256 code challenge of a verifier: base64url of its SHA-256.
std::string PkceChallenge(std::string_view verifier);

// The state sent with the authorization request: 16 random bytes as 22
// characters of base64url, which need no escaping in a URL.
std::string SignInState(std::span<const uint8_t, 16> randomBytes);
