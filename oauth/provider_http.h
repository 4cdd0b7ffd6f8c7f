// The provider's HTTPS requests and the random bytes of a sign-in, done at
// the Windows edge (WinHTTP with the system's certificate checks and proxy,
// BCryptGenRandom). The header is portable, so that the code that decides
// takes a FormPoster, and a test hands it a stand-in.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

// What the provider answered, or that it did not.
struct ProviderReply {
    // False when no whole reply came: no connection, a failed certificate
    // check, the bound passed, a body over kLongestProviderReply, or an
    // address that is not https.
    bool Answered = false;
    int Status = 0;    // the HTTP status, when answered
    std::string Body;  // when answered; it may hold tokens: never traced or shown
};

// Posts a form (application/x-www-form-urlencoded) to an https address and
// returns the reply; the same call shape for a stand-in in tests.
using FormPoster = std::function<ProviderReply(std::string_view url, std::string_view formBody)>;

// A provider's reply is a small JSON object; anything longer is not one.
inline constexpr size_t kLongestProviderReply = 1 << 20;

// The real request: https only, no redirect followed (a token request is
// never repeated elsewhere), each step of it (name lookup, connect, send,
// the reply) bounded by boundMs.
ProviderReply PostForm(std::string_view url, std::string_view formBody, int boundMs);

// The system's cryptographic random bytes; false when Windows gives none.
bool DrawRandomBytes(std::span<uint8_t> bytes);
