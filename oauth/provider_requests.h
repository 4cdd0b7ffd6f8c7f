// What Quillo sends to the provider: the address that the browser opens to
// sign in, and the form bodies of the token and device requests. Portable.
#pragma once

#include "host_records.h"

#include <cstdint>
#include <string>
#include <string_view>

// For addresses and form bodies alike: the unreserved characters stay as
// they are, every other byte becomes %XX (a space %20), so that a value
// reads the same in either place.
std::string PercentEncode(std::string_view text);

// Where the browser returns to: the loopback listener on 127.0.0.1, which a
// browser cannot take for ::1 as it might "localhost".
std::string LoopbackRedirectUri(uint16_t port);

// The address that starts a sign-in in the browser: the authorization code
// with PKCE (S256), returning to the loopback listener on that port.
std::string AuthorizationUrl(const OAuthProvider& provider, uint16_t port, std::string_view state,
                             std::string_view challenge);

// The token request that trades the browser's code for tokens; the
// redirect address is the one the code was asked for with.
std::string CodeExchangeBody(const OAuthProvider& provider, std::string_view code, uint16_t port,
                             std::string_view verifier);

// The token request that trades a refresh token for a new access token.
std::string RefreshBody(const OAuthProvider& provider, std::string_view refreshToken);

// The device authorization request, for signing in on another device.
std::string DeviceAuthorizationBody(const OAuthProvider& provider);

// One poll of the token endpoint while the user signs in on another device.
std::string DevicePollBody(const OAuthProvider& provider, std::string_view deviceCode);
