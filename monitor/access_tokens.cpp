// The access tokens of OAuth hosts; see access_tokens.h.
#include "access_tokens.h"

#include "debug_trace.h"
#include "provider_replies.h"
#include "provider_requests.h"

#include <utility>

int64_t RenewTimeMs(int64_t grantedAtMs, int64_t lifetimeMs)
{
    if (lifetimeMs < kShortLifetimeMs)
        return grantedAtMs + lifetimeMs / 2;
    return grantedAtMs + lifetimeMs - kRenewAheadMs;
}

AccessTokenReply HostAccessToken(HostConfig& host, AccessTokenCache& cache, bool renew, const TokenProviderHooks& hooks)
{
    // Read before the request: the lifetime counts from when it was asked
    // for, never from a later moment than the provider's.
    const int64_t nowMs = hooks.NowMs();
    if (!renew && !cache.Token.empty() && nowMs < cache.RenewAtMs)
        return {AccessTokenOutcome::Token, cache.Token};
    // Near its end, or refused by the server: whatever the provider says, the
    // held token is not handed out again.
    cache = {};
    if (host.RefreshToken.empty()) {
        DebugTrace("- No refresh token: the user must sign in");
        return {AccessTokenOutcome::Expired, {}};
    }
    DebugTrace("- Asking the provider for an access token");
    const ProviderReply answer = hooks.Post(host.OAuth.TokenUrl, RefreshBody(host.OAuth, host.RefreshToken));
    TokenReply reply = answer.Answered ? ReadTokenReply(answer.Status, answer.Body) : TokenReply{};
    switch (reply.Outcome) {
    case TokenOutcome::Granted:
        break;
    case TokenOutcome::Expired:
        // Every further request with it would be refused the same way; a
        // new sign-in in the setup program reloads the table with a new one.
        host.RefreshToken.clear();
        DebugTrace("- The provider no longer takes the refresh token");
        return {AccessTokenOutcome::Expired, {}};
    case TokenOutcome::Unreachable:
        DebugTrace("- No usable answer from the provider");
        return {AccessTokenOutcome::Unreachable, {}};
    default:
        // The error code is the provider's word for why, never a token.
        DebugTrace("- The provider refused: %.64s", reply.Error.c_str());
        return {AccessTokenOutcome::Refused, {}};
    }
    if (!reply.RefreshToken.empty() && reply.RefreshToken != host.RefreshToken) {
        // A provider that rotates its refresh tokens may refuse the old one
        // from now on: the new one is kept even when it cannot be stored, and
        // a reload then reads whichever token the registry holds.
        host.RefreshToken = std::move(reply.RefreshToken);
        if (!hooks.StoreRefreshToken(host))
            DebugTrace("- The new refresh token could not be stored");
    }
    // A token without a lifetime is used for this check only.
    if (reply.ExpiresIn > 0) {
        cache.Token = reply.AccessToken;
        cache.RenewAtMs = RenewTimeMs(nowMs, reply.ExpiresIn * 1000);
    }
    return {AccessTokenOutcome::Token, std::move(reply.AccessToken)};
}
