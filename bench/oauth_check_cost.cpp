// A check of an OAuth 2.0 mailbox under Wine, for scripts/bench: the
// monitor's own token source (HostAccessToken with PostForm) and probe
// (GuessState) on an IMAP host over SSL/TLS, in rounds of three turns, so
// that load from elsewhere falls on all alike:
//   a. the held access token dropped: the source trades the refresh token at
//      the provider (strict rotation: the new one replaces it in the host),
//      then the check;
//   b. the held token used: the check alone;
//   c. Wine's floor for the refresh: the least HTTPS client, a connect, the
//      monitor's own TLS, the whole request in one send and a read to the
//      server's close, trading the refresh token the same way.
// The first check in the process is timed apart: it also pays for WinHTTP's
// and the certificate stores' start. Prints "key value" lines.
//   oauth_check_cost TOKEN_URL CLIENT_ID USER ADDRESS REFRESH_TOKEN ROUNDS
#include "access_tokens.h"
#include "probe.h"
#include "probe_socket.h"
#include "provider_http.h"
#include "provider_presets.h"
#include "provider_replies.h"
#include "provider_requests.h"
#include "tls_session.h"

#include <winsock2.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kBoundMs = 10000;

double WallUs()
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The host and port of an https address and the path after them; false for
// anything else.
bool SplitHttpsUrl(std::string_view url, std::string& host, uint16_t& port, std::string& path)
{
    constexpr std::string_view kScheme = "https://";
    if (!url.starts_with(kScheme))
        return false;
    url.remove_prefix(kScheme.size());
    const size_t slash = url.find('/');
    const std::string_view authority = url.substr(0, slash);
    path = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
    const size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    port = 443;
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (std::from_chars(digits.data(), digits.data() + digits.size(), port).ec != std::errc{})
            return false;
    }
    return !host.empty();
}

// Turn c: one refresh as the least HTTPS client makes it. Its wall time in
// µs with the host's refresh token replaced by the new one, or a negative
// value when no new token came.
double TimedFloorRefresh(HostConfig& host)
{
    std::string name, path;
    uint16_t port = 0;
    if (!SplitHttpsUrl(host.OAuth.TokenUrl, name, port, path))
        return -1;
    const std::string body = RefreshBody(host.OAuth, host.RefreshToken);
    const std::string request = "POST " + path + " HTTP/1.1\r\nHost: " + name + ":" + std::to_string(port) +
                                "\r\nContent-Type: application/x-www-form-urlencoded\r\nAccept: "
                                "application/json\r\nConnection: close\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    const double start = WallUs();
    const std::vector<ServerAddress> addresses = ResolveHost(name.c_str(), port);
    if (addresses.empty())
        return -1;
    UniqueSocket socket(OpenStreamSocket(addresses.front().Family));
    if (!socket || ConnectWithin(socket.get(), addresses.front(), kBoundMs) != 0)
        return -1;
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
    TlsSession* session = nullptr;
    if (StartTlsSession(socket.get(), name.c_str(), deadline, nullptr, &session) != TlsOutcome::Established)
        return -1;
    // The server closes after its reply (Connection: close), so the reply is
    // whole once the connection ends.
    std::string reply;
    bool whole = SendSecure(session, socket.get(), request.data(), request.size()) == static_cast<int>(request.size());
    char bytes[4096];
    int received = 0;
    while (whole && (received = ReceiveSecure(session, socket.get(), bytes, sizeof bytes, deadline, nullptr)) > 0)
        reply.append(bytes, static_cast<size_t>(received));
    whole = whole && received == 0;
    EndTlsSession(session, socket.get());
    const double took = WallUs() - start;
    const size_t headerEnd = reply.find("\r\n\r\n");
    int status = 0;
    if (!whole || headerEnd == std::string::npos || !reply.starts_with("HTTP/1.") || reply.size() < 12 ||
        std::from_chars(reply.data() + 9, reply.data() + 12, status).ec != std::errc{})
        return -1;
    TokenReply token = ReadTokenReply(status, std::string_view(reply).substr(headerEnd + 4));
    if (token.Outcome != TokenOutcome::Granted || token.RefreshToken.empty())
        return -1;
    host.RefreshToken = std::move(token.RefreshToken);
    return took;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: oauth_check_cost TOKEN_URL CLIENT_ID USER ADDRESS REFRESH_TOKEN ROUNDS\n");
        return 2;
    }
    WSADATA winsock;
    if (WSAStartup(0x0202, &winsock) != 0)
        return 1;
    const int rounds = std::atoi(argv[6]);

    // Microsoft's preset pointed at the given token endpoint: its scope
    // names are the ones the rig takes.
    HostConfig host;
    host.Name = argv[4];
    host.UserID = argv[3];
    host.Security = SslTls;
    host.Protocol = Imap;
    host.Auth = OAuthSignIn;
    host.OAuth = MicrosoftAccountProvider();
    host.OAuth.TokenUrl = argv[1];
    host.OAuth.ClientId = argv[2];
    host.RefreshToken = argv[5];

    int posts = 0;
    double postUs = 0;
    const TokenProviderHooks hooks{
        [&](std::string_view url, std::string_view formBody) {
            ++posts;
            const double start = WallUs();
            ProviderReply reply = PostForm(url, formBody, kBoundMs);
            postUs = WallUs() - start;
            return reply;
        },
        [] {
            return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now().time_since_epoch())
                                            .count());
        },
        // The monitor writes the rotated token to the registry here; the
        // benchmark keeps it in the host only.
        [](const HostConfig&) { return true; },
    };
    AccessTokenCache cache;
    ProbeSettings settings;
    settings.BoundMs = kBoundMs;
    settings.AccessToken = [&](bool renew) { return HostAccessToken(host, cache, renew, hooks); };

    // One timed check; negative when it found no mail state or the provider
    // was asked a number of times other than `expectedPosts`.
    const auto timedCheck = [&](int expectedPosts) {
        posts = 0;
        const double start = WallUs();
        const ProbeResult result = GuessState(host, settings);
        const double took = WallUs() - start;
        return result.State == Unknown || posts != expectedPosts ? -1 : took;
    };

    const double firstCheck = timedCheck(1);
    const double firstRefresh = postUs;
    int failures = firstCheck < 0 ? 1 : 0;
    std::vector<double> refreshChecks, refreshes, heldChecks, floorRefreshes;
    for (int round = 0; round < rounds; ++round) {
        cache = {};
        const double withRefresh = timedCheck(1);
        if (withRefresh < 0) {
            ++failures;
        } else {
            refreshChecks.push_back(withRefresh);
            refreshes.push_back(postUs);
        }
        const double withHeld = timedCheck(0);
        if (withHeld < 0)
            ++failures;
        else
            heldChecks.push_back(withHeld);
        const double floor = TimedFloorRefresh(host);
        if (floor < 0)
            ++failures;
        else
            floorRefreshes.push_back(floor);
    }

    std::printf("rounds %d\n", rounds);
    std::printf("first_check_us %.1f\n", firstCheck);
    std::printf("first_refresh_us %.1f\n", firstRefresh);
    std::printf("refresh_check_wall_us %.1f\n", Median(refreshChecks));
    std::printf("refresh_wall_us %.1f\n", Median(refreshes));
    std::printf("held_check_wall_us %.1f\n", Median(heldChecks));
    std::printf("floor_refresh_wall_us %.1f\n", Median(floorRefreshes));
    std::printf("failures %d\n", failures);
    WSACleanup();
    return 0;
}
