// The sign-in's steps; see sign_in_flow.h.
#include "sign_in_flow.h"

#include "loopback_redirect.h"
#include "pkce.h"
#include "provider_replies.h"
#include "provider_requests.h"

#include <algorithm>

namespace {

// Added to the device poll's interval at each slow_down, as RFC 8628 asks.
constexpr int64_t kSlowDownSeconds = 5;

bool Cancelled(const SignInPorts& ports)
{
    return ports.Cancel->load();
}

int WaitSlice(const SignInPorts& ports, uint64_t deadline)
{
    const uint64_t now = ports.NowMs();
    return now >= deadline ? 0 : static_cast<int>(std::min<uint64_t>(deadline - now, kLongestWaitMs));
}

// Sleeps until the deadline in short slices; false when cancelled first.
bool SleepUntil(const SignInPorts& ports, uint64_t deadline)
{
    for (int slice = WaitSlice(ports, deadline); slice > 0; slice = WaitSlice(ports, deadline)) {
        if (Cancelled(ports))
            return false;
        ports.Sleep(slice);
    }
    return !Cancelled(ports);
}

TokenReply PostTokenRequest(const OAuthProvider& provider, const SignInPorts& ports, std::string_view body)
{
    const ProviderReply reply = ports.Post(provider.TokenUrl, body);
    return reply.Answered ? ReadTokenReply(reply.Status, reply.Body) : TokenReply{};
}

// A token reply that ends the sign-in; the access token goes no further.
SignInResult EndOfTokenRequest(TokenReply reply)
{
    SignInResult result;
    switch (reply.Outcome) {
    case TokenOutcome::Granted:
        // Without a refresh token the monitor could check mail only until the
        // access token ran out.
        result.Outcome = reply.RefreshToken.empty() ? SignInOutcome::NoRefreshToken : SignInOutcome::SignedIn;
        result.RefreshToken = std::move(reply.RefreshToken);
        break;
    case TokenOutcome::Denied:
        result.Outcome = SignInOutcome::Denied;
        break;
    case TokenOutcome::CodeExpired:
        result.Outcome = SignInOutcome::TimedOut;
        break;
    case TokenOutcome::Unreachable:
        result.Outcome = SignInOutcome::Unreachable;
        break;
    default:
        result.Outcome = SignInOutcome::ProviderRefused;
        result.Error = std::move(reply.Error);
        break;
    }
    return result;
}

SignInResult Ended(SignInOutcome outcome, std::string error = {})
{
    return SignInResult{outcome, {}, std::move(error)};
}

}  // namespace

SignInResult RunBrowserSignIn(const OAuthProvider& provider, const SignInSecrets& secrets, uint64_t limitMs,
                              const SignInPorts& ports)
{
    const uint64_t deadline = ports.NowMs() + limitMs;
    const std::optional<uint16_t> port = ports.Listen();
    if (!port)
        return Ended(SignInOutcome::NoListener);
    const std::string verifier = PkceVerifier(secrets.Verifier);
    const std::string state = SignInState(secrets.State);
    const std::string url = AuthorizationUrl(provider, *port, state, PkceChallenge(verifier));
    // Shown before the browser is asked: a system without one may still
    // report success, and the user then needs the address.
    ports.ShowAddress(url);
    ports.OpenInBrowser(url);

    for (;;) {
        if (Cancelled(ports))
            return Ended(SignInOutcome::Cancelled);
        const int slice = WaitSlice(ports, deadline);
        if (slice == 0)
            return Ended(SignInOutcome::TimedOut);
        const std::optional<std::string> head = ports.WaitForRequest(slice);
        if (!head)
            continue;
        const RedirectRequest redirect = ReadRedirectRequest(*head, state);
        switch (redirect.Outcome) {
        case RedirectOutcome::Ignore:
            ports.Answer(NotFoundResponse());
            continue;
        case RedirectOutcome::Denied:
            ports.Answer(RedirectPage(false));
            return Ended(SignInOutcome::Denied);
        case RedirectOutcome::StateMismatch:
            ports.Answer(RedirectPage(false));
            return Ended(SignInOutcome::StateMismatch);
        case RedirectOutcome::Code:
            break;
        }
        SignInResult result = EndOfTokenRequest(
            PostTokenRequest(provider, ports, CodeExchangeBody(provider, redirect.Code, *port, verifier)));
        // A token that came after the user gave up is not kept, and the page
        // must not say otherwise.
        if (Cancelled(ports))
            result = Ended(SignInOutcome::Cancelled);
        ports.Answer(RedirectPage(result.Outcome == SignInOutcome::SignedIn));
        return result;
    }
}

SignInResult RunDeviceSignIn(const OAuthProvider& provider, uint64_t limitMs, const SignInPorts& ports)
{
    const uint64_t start = ports.NowMs();
    const ProviderReply started = ports.Post(provider.DeviceUrl, DeviceAuthorizationBody(provider));
    const DeviceAuthorization device =
        started.Answered ? ReadDeviceAuthorization(started.Status, started.Body) : DeviceAuthorization{};
    if (Cancelled(ports))
        return Ended(SignInOutcome::Cancelled);
    if (device.Outcome == DeviceOutcome::Refused)
        return Ended(SignInOutcome::ProviderRefused, device.Error);
    if (device.Outcome != DeviceOutcome::Started)
        return Ended(SignInOutcome::Unreachable);
    ports.ShowCode(device.UserCode, device.VerificationUri);

    const uint64_t deadline = start + std::min<uint64_t>(limitMs, static_cast<uint64_t>(device.ExpiresIn) * 1000);
    int64_t interval = device.Interval;
    const std::string poll = DevicePollBody(provider, device.DeviceCode);
    for (;;) {
        const uint64_t nextPoll = ports.NowMs() + static_cast<uint64_t>(interval) * 1000;
        if (!SleepUntil(ports, std::min(nextPoll, deadline)))
            return Ended(SignInOutcome::Cancelled);
        if (ports.NowMs() >= deadline)
            return Ended(SignInOutcome::TimedOut);
        TokenReply reply = PostTokenRequest(provider, ports, poll);
        if (Cancelled(ports))
            return Ended(SignInOutcome::Cancelled);
        if (reply.Outcome == TokenOutcome::SlowDown)
            interval += kSlowDownSeconds;
        else if (reply.Outcome != TokenOutcome::Pending)
            return EndOfTokenRequest(std::move(reply));
    }
}
