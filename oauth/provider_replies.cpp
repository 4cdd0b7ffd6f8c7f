// What the provider's replies mean; see provider_replies.h.
#include "provider_replies.h"

#include "json_reader.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

using Members = std::vector<JsonMember>;

bool IsSuccess(int status)
{
    return status >= 200 && status <= 299;
}

// Errors come as 400 or 401, some providers send device polling's with 200;
// whatever a server failure or a redirect says is no answer of the provider.
bool MayCarryError(int status)
{
    return IsSuccess(status) || (status >= 400 && status <= 499);
}

// Tokens and codes are visible ASCII and the space (VSCHAR): nothing that
// could end a line or a field where they are sent on.
bool IsTokenText(std::string_view text)
{
    if (text.empty())
        return false;
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

// An error code is VSCHAR without the quotation mark and backslash.
bool IsErrorCode(std::string_view text)
{
    return IsTokenText(text) && text.find_first_of("\"\\") == std::string_view::npos;
}

// A string member, which must be a string when present; nothing when absent,
// and false when of another type.
bool StringMember(const Members& members, std::string_view name, std::optional<std::string>& value)
{
    const JsonMember* member = FindJsonMember(members, name);
    if (member == nullptr)
        return true;
    if (member->Type != JsonType::String)
        return false;
    value = member->Value;
    return true;
}

// A whole number of seconds, as a number or (as some providers send it) a
// string of digits; nothing when absent or anything else.
std::optional<int64_t> Seconds(const Members& members, std::string_view name)
{
    const JsonMember* member = FindJsonMember(members, name);
    if (member == nullptr || (member->Type != JsonType::Number && member->Type != JsonType::String))
        return std::nullopt;
    const std::string& text = member->Value;
    if (text.empty())
        return std::nullopt;
    int64_t seconds = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        seconds = std::min(seconds * 10 + (c - '0'), kLongestLifetime);
    }
    return seconds;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// An https address of characters that an address may hold, with a host.
bool IsHttpsAddress(std::string_view text)
{
    constexpr std::string_view kScheme = "https://";
    if (text.size() <= kScheme.size() || !EqualsIgnoringCase(text.substr(0, kScheme.size()), kScheme))
        return false;
    constexpr std::string_view kMarks = "-._~:/?#[]@!$&'()*+,;=%";
    for (const char c : text) {
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && kMarks.find(c) == std::string_view::npos)
            return false;
    }
    return text[kScheme.size()] != '/';
}

// The reply's error code when it has one: nullopt when it has none, an empty
// text when it has one that cannot be read.
std::optional<std::string> ErrorCode(const Members& members)
{
    std::optional<std::string> error;
    if (!StringMember(members, "error", error))
        return std::string();
    if (error && !IsErrorCode(*error))
        return std::string();
    return error;
}

// What every reply of the provider shares: its members, to be read on, when
// its status is a success and it names no error; otherwise nothing, with the
// error it names in `error` (left empty when it names none or one that
// cannot be read).
std::optional<Members> SuccessMembers(int httpStatus, std::string_view body, std::string& error)
{
    if (!MayCarryError(httpStatus))
        return std::nullopt;
    std::optional<Members> members = ReadJsonObject(body);
    if (!members)
        return std::nullopt;
    if (std::optional<std::string> code = ErrorCode(*members)) {
        error = std::move(*code);
        return std::nullopt;
    }
    if (!IsSuccess(httpStatus))
        return std::nullopt;
    return members;
}

TokenOutcome OutcomeOfError(std::string_view error)
{
    if (error == "invalid_grant")
        return TokenOutcome::Expired;
    if (error == "authorization_pending")
        return TokenOutcome::Pending;
    if (error == "slow_down")
        return TokenOutcome::SlowDown;
    if (error == "access_denied")
        return TokenOutcome::Denied;
    if (error == "expired_token")
        return TokenOutcome::CodeExpired;
    return TokenOutcome::Refused;
}

}  // namespace

TokenReply ReadTokenReply(int httpStatus, std::string_view body)
{
    TokenReply reply;
    std::string error;
    const std::optional<Members> members = SuccessMembers(httpStatus, body, error);
    if (!members) {
        if (!error.empty()) {
            reply.Outcome = OutcomeOfError(error);
            reply.Error = std::move(error);
        }
        return reply;
    }

    std::optional<std::string> accessToken;
    std::optional<std::string> tokenType;
    std::optional<std::string> refreshToken;
    if (!StringMember(*members, "access_token", accessToken) || !accessToken || !IsTokenText(*accessToken) ||
        !StringMember(*members, "token_type", tokenType) || !StringMember(*members, "refresh_token", refreshToken) ||
        (refreshToken && !IsTokenText(*refreshToken)))
        return reply;
    if (!tokenType || !EqualsIgnoringCase(*tokenType, "Bearer")) {
        reply.Outcome = TokenOutcome::Refused;
        reply.Error = kNotBearerError;
        return reply;
    }
    reply.Outcome = TokenOutcome::Granted;
    reply.AccessToken = std::move(*accessToken);
    reply.ExpiresIn = Seconds(*members, "expires_in").value_or(kDefaultTokenLifetime);
    if (refreshToken)
        reply.RefreshToken = std::move(*refreshToken);
    return reply;
}

DeviceAuthorization ReadDeviceAuthorization(int httpStatus, std::string_view body)
{
    DeviceAuthorization reply;
    std::string error;
    const std::optional<Members> members = SuccessMembers(httpStatus, body, error);
    if (!members) {
        if (!error.empty()) {
            reply.Outcome = DeviceOutcome::Refused;
            reply.Error = std::move(error);
        }
        return reply;
    }

    std::optional<std::string> deviceCode;
    std::optional<std::string> userCode;
    std::optional<std::string> uri;
    std::optional<std::string> complete;
    if (!StringMember(*members, "device_code", deviceCode) || !deviceCode || !IsTokenText(*deviceCode) ||
        !StringMember(*members, "user_code", userCode) || !userCode || !IsTokenText(*userCode) ||
        !StringMember(*members, "verification_uri", uri) ||
        (!uri && !StringMember(*members, "verification_url", uri)) || !uri || !IsHttpsAddress(*uri) ||
        !StringMember(*members, "verification_uri_complete", complete))
        return reply;
    const std::optional<int64_t> expiresIn = Seconds(*members, "expires_in");
    if (!expiresIn || *expiresIn == 0)
        return reply;

    reply.Outcome = DeviceOutcome::Started;
    reply.DeviceCode = std::move(*deviceCode);
    reply.UserCode = std::move(*userCode);
    reply.VerificationUri = std::move(*uri);
    // Without it the user types the code, as they would anyway.
    if (complete && IsHttpsAddress(*complete))
        reply.VerificationUriComplete = std::move(*complete);
    reply.ExpiresIn = *expiresIn;
    // Polling without a pause would only earn slow_down.
    const std::optional<int64_t> interval = Seconds(*members, "interval");
    reply.Interval = interval && *interval > 0 ? *interval : kDefaultPollInterval;
    return reply;
}
