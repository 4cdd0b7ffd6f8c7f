// What the provider's replies mean: the token endpoint's answer to a code
// exchange, a refresh or a device poll, and the device endpoint's answer to
// a device authorization. The Windows edge does the HTTP and hands over the
// status and the body. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How a request for an access token ended.
enum class TokenOutcome {
    Granted,      // AccessToken and ExpiresIn, and RefreshToken when the provider sent a new one
    Expired,      // invalid_grant: the code or refresh token is no longer good; the user signs in again
    Pending,      // authorization_pending: the user has not finished on the other device yet
    SlowDown,     // slow_down: poll less often
    Denied,       // access_denied: the user said no
    CodeExpired,  // expired_token: the device code ran out; the device sign-in starts over
    Refused,      // any other error, whose code Error keeps
    Unreachable,  // no usable answer: a server failure, a reply that is not the provider's JSON
};

// The lifetime of an access token whose reply gives none, in seconds.
inline constexpr int64_t kDefaultTokenLifetime = 3600;
// Longer lifetimes and intervals are taken as this, so that adding one to a
// clock can never overflow.
inline constexpr int64_t kLongestLifetime = 999'999'999;
// The error a reply with a token of any type but Bearer is refused with:
// Bearer is the only type that the mail servers take.
inline constexpr std::string_view kNotBearerError = "unsupported_token_type";

struct TokenReply {
    TokenOutcome Outcome = TokenOutcome::Unreachable;
    std::string AccessToken;   // with Granted only, and never empty then
    int64_t ExpiresIn = 0;     // seconds, with Granted only
    std::string RefreshToken;  // with Granted only; empty when the provider sent no new one
    std::string Error;         // the error code, with every outcome but Granted and Unreachable
};

// A token reply from the HTTP status and the body. An error counts whatever
// the status but a server failure's (5xx), and a reply that has one carries
// no token; a token counts only in a 2xx reply.
TokenReply ReadTokenReply(int httpStatus, std::string_view body);

// How a device authorization ended.
enum class DeviceOutcome {
    Started,      // the user goes to VerificationUri and types UserCode; polling begins
    Refused,      // the provider's error, whose code Error keeps
    Unreachable,  // as with a token reply
};

// Seconds between two polls when the reply names none.
inline constexpr int64_t kDefaultPollInterval = 5;

struct DeviceAuthorization {
    DeviceOutcome Outcome = DeviceOutcome::Unreachable;
    std::string DeviceCode;
    std::string UserCode;
    // Opened in the browser: https addresses only, so that a reply cannot
    // have the system start anything else.
    std::string VerificationUri;
    std::string VerificationUriComplete;  // the address with the code in it; may be empty
    int64_t ExpiresIn = 0;                // seconds the device code lasts
    int64_t Interval = kDefaultPollInterval;
    std::string Error;
};

// A device authorization reply from the HTTP status and the body; Google
// names the address verification_url.
DeviceAuthorization ReadDeviceAuthorization(int httpStatus, std::string_view body);
