// The provider's replies as anyone could write them, read as token replies
// and as device authorizations: no crash, a token only with Granted and
// never empty, an error never beside a token, a device sign-in only with
// its codes and an https address, and nothing usable from a server failure.
//
// Input: a byte that picks the HTTP status, then the body.
#include "fuzz_check.h"
#include "provider_replies.h"

#include <cstdint>
#include <string_view>

namespace {

constexpr int kStatuses[] = {200, 400, 401, 500, 302, 403, 0, 201};

bool StartsHttps(std::string_view address)
{
    constexpr std::string_view kScheme = "https://";
    if (address.size() <= kScheme.size())
        return false;
    for (size_t i = 0; i < kScheme.size(); ++i) {
        if ((address[i] | 0x20) != kScheme[i])
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int status = kStatuses[data[0] % std::size(kStatuses)];
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool serverFailure = status >= 500;
    const bool success = status >= 200 && status <= 299;

    const TokenReply token = ReadTokenReply(status, body);
    if (token.Outcome == TokenOutcome::Granted) {
        FUZZ_CHECK(success);
        FUZZ_CHECK(!token.AccessToken.empty());
        FUZZ_CHECK(token.Error.empty());
        FUZZ_CHECK(token.ExpiresIn >= 0 && token.ExpiresIn <= kLongestLifetime);
    } else {
        FUZZ_CHECK(token.AccessToken.empty() && token.RefreshToken.empty() && token.ExpiresIn == 0);
        FUZZ_CHECK(token.Error.empty() == (token.Outcome == TokenOutcome::Unreachable));
    }
    if (serverFailure)
        FUZZ_CHECK(token.Outcome == TokenOutcome::Unreachable);

    const DeviceAuthorization device = ReadDeviceAuthorization(status, body);
    if (device.Outcome == DeviceOutcome::Started) {
        FUZZ_CHECK(success);
        FUZZ_CHECK(!device.DeviceCode.empty() && !device.UserCode.empty());
        FUZZ_CHECK(StartsHttps(device.VerificationUri));
        FUZZ_CHECK(device.VerificationUriComplete.empty() || StartsHttps(device.VerificationUriComplete));
        FUZZ_CHECK(device.ExpiresIn > 0 && device.Interval > 0);
        FUZZ_CHECK(device.Error.empty());
    } else {
        FUZZ_CHECK(device.DeviceCode.empty() && device.UserCode.empty() && device.VerificationUri.empty());
        FUZZ_CHECK(device.Error.empty() == (device.Outcome == DeviceOutcome::Unreachable));
    }
    if (serverFailure)
        FUZZ_CHECK(device.Outcome == DeviceOutcome::Unreachable);
    return 0;
}
