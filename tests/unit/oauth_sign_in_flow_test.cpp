// The sign-in from "Sign in" to a refresh token or a failure, with the
// listener, the browser, the provider and the clock scripted.
#include "loopback_redirect.h"
#include "pkce.h"
#include "provider_requests.h"
#include "sign_in_flow.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using enum SignInOutcome;

constexpr uint16_t kPort = 50123;
constexpr uint64_t kLimitMs = 300'000;

OAuthProvider Provider()
{
    return {"https://login.example/authorize", "https://login.example/token", "client-1",
            "https://outlook.office.com/IMAP.AccessAsUser.All offline_access", "https://login.example/devicecode"};
}

ProviderReply Tokens(const std::string& refreshToken)
{
    std::string body = "{\"access_token\":\"at-1\",\"token_type\":\"Bearer\",\"expires_in\":3600";
    if (!refreshToken.empty())
        body += ",\"refresh_token\":\"" + refreshToken + "\"";
    return {true, 200, body + "}"};
}

const ProviderReply kGranted = Tokens("rt-1");

ProviderReply Error(const std::string& code)
{
    return {true, 400, "{\"error\":\"" + code + "\"}"};
}

ProviderReply Device(int expiresIn)
{
    return {
        true, 200,
        "{\"device_code\":\"dc-1\",\"user_code\":\"ABCD-EFGH\",\"verification_uri\":\"https://login.example/device\","
        "\"expires_in\":" +
            std::to_string(expiresIn) + ",\"interval\":5}"};
}

// The machine and the provider as a sign-in meets them: requests arrive at
// the listener in order, the provider answers posts in order (no answer
// once its replies run out), and time passes only in waits and sleeps.
struct World {
    std::vector<std::string> heads;  // "{state}" stands for the sign-in's state
    std::vector<ProviderReply> replies;
    uint64_t cancelAtMs = std::numeric_limits<uint64_t>::max();
    bool cancelOnPost = false;
    bool listens = true;

    SignInSecrets secrets{{1, 2, 3}, {4, 5, 6}};
    uint64_t now = 0;
    std::atomic<bool> cancel{false};
    std::vector<std::string> opened;
    std::string shown;
    std::vector<std::string> answers;
    struct Post {
        uint64_t atMs;
        std::string url;
        std::string body;
    };
    std::vector<Post> posts;

    void Pass(int ms)
    {
        now += ms;
        if (now >= cancelAtMs)
            cancel = true;
    }

    SignInPorts Ports()
    {
        SignInPorts ports;
        ports.Listen = [this]() { return listens ? std::optional<uint16_t>(kPort) : std::nullopt; };
        ports.WaitForRequest = [this](int ms) -> std::optional<std::string> {
            if (heads.empty()) {
                Pass(ms);
                return std::nullopt;
            }
            std::string head = heads.front();
            heads.erase(heads.begin());
            if (const size_t at = head.find("{state}"); at != std::string::npos)
                head.replace(at, 7, SignInState(secrets.State));
            return head;
        };
        ports.Answer = [this](std::string_view response) { answers.emplace_back(response); };
        ports.OpenInBrowser = [this](const std::string& url) { opened.push_back(url); };
        ports.Post = [this](std::string_view url, std::string_view body) {
            posts.push_back({now, std::string(url), std::string(body)});
            cancel = cancel || cancelOnPost;
            if (replies.empty())
                return ProviderReply{};
            const ProviderReply reply = replies.front();
            replies.erase(replies.begin());
            return reply;
        };
        ports.NowMs = [this]() { return now; };
        ports.Sleep = [this](int ms) { Pass(ms); };
        ports.Cancel = &cancel;
        ports.ShowAddress = [this](const std::string& url) { shown = url; };
        ports.ShowCode = [this](const std::string& code, const std::string& uri) { shown = code + " at " + uri; };
        return ports;
    }
};

TEST(SignInFlow, TheBrowserSignInEndsWithARefreshTokenOrSaysWhyNot)
{
    const std::string kCode = "GET /?code=c-1&state={state} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const std::string kIcon = "GET /favicon.ico HTTP/1.1\r\n\r\n";
    const std::string kOtherState = "GET /?code=c-1&state=x HTTP/1.1\r\n\r\n";
    const std::string kDeclined = "GET /?error=access_denied&state={state} HTTP/1.1\r\n\r\n";
    const std::string kOk = RedirectPage(true);
    const std::string kFailed = RedirectPage(false);
    const std::string kNotFound = NotFoundResponse();
    const ProviderReply kRefused = Error("invalid_client");
    enum Twist { Plain, CancelledOnPost, Unlistening };
    const struct {
        const char* name;
        std::vector<std::string> heads;
        std::vector<ProviderReply> replies;
        Twist twist;
        SignInOutcome outcome;
        const char* error;
        std::vector<std::string> answers;
        size_t posts;
    } kCases[] = {
        {"good path", {kCode}, {kGranted}, Plain, SignedIn, "", {kOk}, 1},
        {"ignored, then the code", {kIcon, "", kCode}, {kGranted}, Plain, SignedIn, "", {kNotFound, kNotFound, kOk}, 1},
        {"another sign-in's state", {kOtherState, kCode}, {kGranted}, Plain, StateMismatch, "", {kFailed}, 0},
        {"declined", {kDeclined}, {}, Plain, Denied, "", {kFailed}, 0},
        {"no return in time", {}, {}, Plain, TimedOut, "", {}, 0},
        {"cancelled during the exchange", {kCode}, {kGranted}, CancelledOnPost, Cancelled, "", {kFailed}, 1},
        {"exchange refused", {kCode}, {kRefused}, Plain, ProviderRefused, "invalid_client", {kFailed}, 1},
        {"provider unreachable", {kCode}, {}, Plain, Unreachable, "", {kFailed}, 1},
        {"no refresh token", {kCode}, {Tokens("")}, Plain, NoRefreshToken, "", {kFailed}, 1},
        {"no listener", {}, {}, Unlistening, NoListener, "", {}, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        World world;
        world.heads = c.heads;
        world.replies = c.replies;
        world.cancelOnPost = c.twist == CancelledOnPost;
        world.listens = c.twist != Unlistening;
        const SignInResult result = RunBrowserSignIn(Provider(), world.secrets, kLimitMs, world.Ports());
        EXPECT_EQ(result.Outcome, c.outcome);
        EXPECT_EQ(result.RefreshToken, c.outcome == SignedIn ? "rt-1" : "");
        EXPECT_EQ(result.Error, c.error);
        EXPECT_EQ(world.answers, c.answers);
        EXPECT_EQ(world.now, c.outcome == TimedOut ? kLimitMs : 0);
        // The browser gets the address with this sign-in's state and challenge,
        // and the exchange proves it with the verifier behind that challenge.
        const std::string verifier = PkceVerifier(world.secrets.Verifier);
        const std::string url =
            AuthorizationUrl(Provider(), kPort, SignInState(world.secrets.State), PkceChallenge(verifier));
        EXPECT_EQ(world.opened, world.listens ? std::vector<std::string>{url} : std::vector<std::string>{});
        EXPECT_EQ(world.shown, world.listens ? url : "");
        ASSERT_EQ(world.posts.size(), c.posts);
        if (c.posts == 1) {
            EXPECT_EQ(world.posts[0].url, Provider().TokenUrl);
            EXPECT_EQ(world.posts[0].body, CodeExchangeBody(Provider(), "c-1", kPort, verifier));
        }
    }
}

TEST(SignInFlow, TheDeviceSignInPollsAtTheProvidersPaceUntilItEnds)
{
    const ProviderReply kStarted = Device(900);
    const ProviderReply kPending = Error("authorization_pending");
    const ProviderReply kSlowDown = Error("slow_down");
    // Times in seconds.
    const struct {
        const char* name;
        std::vector<ProviderReply> replies;
        uint64_t limit;
        SignInOutcome outcome;
        const char* error;
        std::vector<uint64_t> postTimes;
        uint64_t end;
    } kCases[] = {
        {"slowed, then granted", {kStarted, kPending, kSlowDown, kGranted}, 300, SignedIn, "", {0, 5, 10, 20}, 20},
        {"the code ran out", {kStarted, kPending, Error("expired_token")}, 300, TimedOut, "", {0, 5, 10}, 10},
        {"declined", {kStarted, Error("access_denied")}, 300, Denied, "", {0, 5}, 5},
        {"the code's lifetime passes", {Device(12), kPending, kPending}, 300, TimedOut, "", {0, 5, 10}, 12},
        {"the time limit passes", {kStarted, kPending}, 7, TimedOut, "", {0, 5}, 7},
        {"refused", {Error("unauthorized_client")}, 300, ProviderRefused, "unauthorized_client", {0}, 0},
        {"poll unanswered", {kStarted}, 300, Unreachable, "", {0, 5}, 5},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        World world;
        world.replies = c.replies;
        const SignInResult result = RunDeviceSignIn(Provider(), c.limit * 1000, world.Ports());
        EXPECT_EQ(result.Outcome, c.outcome);
        EXPECT_EQ(result.RefreshToken, c.outcome == SignedIn ? "rt-1" : "");
        EXPECT_EQ(result.Error, c.error);
        EXPECT_EQ(world.now, c.end * 1000);
        EXPECT_EQ(world.shown, c.outcome == ProviderRefused ? "" : "ABCD-EFGH at https://login.example/device");
        EXPECT_TRUE(world.opened.empty());
        std::vector<uint64_t> times;
        for (size_t i = 0; i < world.posts.size(); ++i) {
            times.push_back(world.posts[i].atMs / 1000);
            EXPECT_EQ(world.posts[i].url, i == 0 ? Provider().DeviceUrl : Provider().TokenUrl);
            EXPECT_EQ(world.posts[i].body,
                      i == 0 ? DeviceAuthorizationBody(Provider()) : DevicePollBody(Provider(), "dc-1"));
        }
        EXPECT_EQ(times, c.postTimes);
    }
}

TEST(SignInFlow, CancelIsSeenWithinOneShortWait)
{
    for (const bool device : {false, true}) {
        SCOPED_TRACE(device ? "device" : "browser");
        World world;
        world.replies = {Device(900)};
        world.cancelAtMs = 2345;
        const SignInResult result = device ? RunDeviceSignIn(Provider(), kLimitMs, world.Ports())
                                           : RunBrowserSignIn(Provider(), world.secrets, kLimitMs, world.Ports());
        EXPECT_EQ(result.Outcome, Cancelled);
        EXPECT_GE(world.now, world.cancelAtMs);
        EXPECT_LE(world.now, world.cancelAtMs + kLongestWaitMs);
    }
}

}  // namespace
