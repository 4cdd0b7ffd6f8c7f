// The access tokens of a host that signs in with OAuth 2.0: held in memory
// while they are good, and traded anew for the refresh token at the
// provider's token endpoint. Portable: the HTTP, the clock and the registry
// are handed in.
#pragma once

#include "host_records.h"
#include "probe_result.h"
#include "provider_http.h"

#include <cstdint>
#include <functional>
#include <string>

// A host's access token while it may be handed out, in its entry of the host
// table; the check thread's alone. Never written to the registry: a token
// lives an hour, the refresh token months.
struct AccessTokenCache {
    std::string Token;      // empty: none held; never traced or shown
    int64_t RenewAtMs = 0;  // on the source's clock: from then on a new one is asked for
};

// A token is renewed this long before it expires, so that a check that
// started with it does not end with a token the server no longer takes...
inline constexpr int64_t kRenewAheadMs = 5 * 60 * 1000;
// ...unless it lives shorter than this: then it is renewed at half its life,
// so that it is still used at all.
inline constexpr int64_t kShortLifetimeMs = 10 * 60 * 1000;

// From when a token that lives lifetimeMs from grantedAtMs is no longer
// handed out.
int64_t RenewTimeMs(int64_t grantedAtMs, int64_t lifetimeMs);

// What the source reaches beyond the host with.
struct TokenProviderHooks {
    FormPoster Post;
    // Milliseconds on a clock that never goes back nor wraps.
    std::function<int64_t()> NowMs;
    // Stores the host's new RefreshToken; false when it could not be.
    std::function<bool(const HostConfig& host)> StoreRefreshToken;
};

// An access token for the host: the held one while it is good and `renew`
// is false, else one traded for the host's refresh token in a single request
// (none at all without a refresh token: Expired). A refresh token that the
// provider hands back in place of the old one becomes the host's and is
// stored. A refresh token that the provider calls invalid is dropped, so
// that it is never sent again.
AccessTokenReply HostAccessToken(HostConfig& host, AccessTokenCache& cache, bool renew,
                                 const TokenProviderHooks& hooks);
