// What happens after the user asks to sign in, up to a refresh token or a
// clear failure: the browser's sign-in returning to a loopback listener, or
// a code typed in on another device. The listening, the browser, the HTTP,
// the clock and the sleeping are the caller's ports, so that the same steps
// run against Winsock and WinHTTP and against a script in the tests.
// Portable.
#pragma once

#include "host_records.h"
#include "provider_http.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

enum class SignInOutcome {
    SignedIn,         // RefreshToken holds the token to store
    Cancelled,        // the user stopped it
    TimedOut,         // the time limit or the device code's lifetime passed first
    Denied,           // the user said no in the browser
    StateMismatch,    // the browser brought back an answer that was not this sign-in's
    ProviderRefused,  // the provider's error, whose code Error keeps
    Unreachable,      // the provider gave no usable answer
    NoRefreshToken,   // granted without a refresh token: the scope lacks offline_access
    NoListener,       // no loopback port to return to could be opened
};

struct SignInResult {
    SignInOutcome Outcome = SignInOutcome::Cancelled;
    std::string RefreshToken;  // with SignedIn only
    std::string Error;         // the provider's error code, with ProviderRefused (may be empty)
};

// The random bytes of one browser sign-in: the PKCE verifier's and the
// state's, drawn by the caller from the system's generator.
struct SignInSecrets {
    std::array<uint8_t, 32> Verifier{};
    std::array<uint8_t, 16> State{};
};

// The platform under a sign-in. Every wait is short, so that the flow sees
// Cancel soon; each member is called from the flow's own thread.
struct SignInPorts {
    // Opens the listener on 127.0.0.1 with a port of the system's choice;
    // the port, or nothing when none could be opened.
    std::function<std::optional<uint16_t>()> Listen;
    // The head of the next request on the listener within that many
    // milliseconds, or nothing.
    std::function<std::optional<std::string>(int ms)> WaitForRequest;
    // Sends the response to the request last returned and closes its
    // connection.
    std::function<void(std::string_view response)> Answer;
    std::function<void(const std::string& url)> OpenInBrowser;
    FormPoster Post;
    std::function<uint64_t()> NowMs;
    // Sleeps that many milliseconds, or less once Cancel is set.
    std::function<void(int ms)> Sleep;
    const std::atomic<bool>* Cancel = nullptr;  // set by the user's Cancel; never null

    // What the window shows: the address the browser was sent to (for Copy
    // link), and for a device sign-in the code and where to enter it.
    std::function<void(const std::string& url)> ShowAddress;
    std::function<void(const std::string& userCode, const std::string& verificationUri)> ShowCode;
};

// The longest single wait or sleep: how late Cancel may be seen.
inline constexpr int kLongestWaitMs = 200;

// The authorization code with PKCE (S256) in the system browser, returning
// to the loopback listener, within limitMs.
SignInResult RunBrowserSignIn(const OAuthProvider& provider, const SignInSecrets& secrets, uint64_t limitMs,
                              const SignInPorts& ports);

// The device authorization: the user enters a code on the provider's page,
// here or on another device, while the flow polls; within limitMs or the
// device code's lifetime, whichever ends first. The provider must have a
// DeviceUrl.
SignInResult RunDeviceSignIn(const OAuthProvider& provider, uint64_t limitMs, const SignInPorts& ports);
