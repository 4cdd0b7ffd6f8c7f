// An OAuth host's access tokens: held until near their end, traded anew for
// the refresh token otherwise with at most one request per call, and what
// each answer of the provider becomes for the check.
#include "access_tokens.h"

#include "debug_trace.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char kTokenUrl[] = "https://login.example/token";
// The registry refuses to store this one.
constexpr char kUnstorable[] = "rt-unstorable";

ProviderReply Grant(const std::string& token, int64_t expiresIn, const std::string& refreshToken = "")
{
    return {true, 200,
            "{\"token_type\":\"Bearer\",\"access_token\":\"" + token +
                "\",\"expires_in\":" + std::to_string(expiresIn) +
                (refreshToken.empty() ? "" : ",\"refresh_token\":\"" + refreshToken + "\"") + "}"};
}

ProviderReply Error(const std::string& code)
{
    return {true, 400, "{\"error\":\"" + code + "\"}"};
}

// One call of the source, on the host of the row before unless it names a
// new host's refresh token.
struct Call {
    const char* newHost;
    int64_t atMs;
    bool renew;
    std::optional<ProviderReply> reply;  // none: no request may be made
    std::string said;                    // the token handed out, or the outcome
    std::string log;                     // the refresh token sent, and "+" each one stored
};

std::vector<std::string> gTraces;

TEST(AccessTokens, HeldUntilNearTheirEndAndOtherwiseAskedForOnce)
{
    const std::nullopt_t none = std::nullopt;
    const Call kCalls[] = {
        // Held until five minutes before the end, or half its life when it lives less than ten minutes.
        {"rt-1", 0, false, Grant("at-1", 3600), "at-1", "rt-1"},
        {nullptr, 3'299'999, false, none, "at-1", ""},
        {nullptr, 3'300'000, false, Grant("at-2", 3600), "at-2", "rt-1"},
        {"rt-1", 0, false, Grant("at-1", 300), "at-1", "rt-1"},
        {nullptr, 149'999, false, none, "at-1", ""},
        {nullptr, 150'000, false, Grant("at-2", 0), "at-2", "rt-1"},
        {nullptr, 150'000, false, Grant("at-3", 300), "at-3", "rt-1"},
        // Renewed when the server refused it, and never handed out again.
        {"rt-1", 0, false, Grant("at-1", 3600), "at-1", "rt-1"},
        {nullptr, 1, true, Grant("at-2", 3600), "at-2", "rt-1"},
        {nullptr, 2, true, ProviderReply{}, "Unreachable", "rt-1"},
        {nullptr, 3, false, Grant("at-3", 3600), "at-3", "rt-1"},
        // A rotated refresh token is stored once, and kept when it cannot be.
        {"rt-1", 0, false, Grant("at-1", 3600, "rt-2"), "at-1", "rt-1 +rt-2"},
        {nullptr, 1, true, Grant("at-2", 3600, "rt-2"), "at-2", "rt-2"},
        {nullptr, 2, true, Grant("at-3", 3600, kUnstorable), "at-3", "rt-2 +rt-unstorable"},
        {nullptr, 3, true, Grant("at-4", 3600), "at-4", "rt-unstorable"},
        // A refresh token that is missing or called invalid is never sent.
        {"", 0, false, none, "Expired", ""},
        {"rt-1", 0, false, Error("invalid_grant"), "Expired", "rt-1"},
        {nullptr, 1, true, none, "Expired", ""},
        // Every other answer.
        {"rt-1", 0, false, Error("invalid_client"), "Refused", "rt-1"},
        {"rt-1", 0, false, Error("access_denied"), "Refused", "rt-1"},
        {"rt-1", 0, false, Error("authorization_pending"), "Refused", "rt-1"},
        {"rt-1", 0, false, Error("slow_down"), "Refused", "rt-1"},
        {"rt-1", 0, false, Error("expired_token"), "Refused", "rt-1"},
        {"rt-1", 0, false, ProviderReply{true, 200, "{\"access_token\":\"at-1\",\"token_type\":\"mac\"}"}, "Refused",
         "rt-1"},
        {"rt-1", 0, false, ProviderReply{true, 503, "{\"error\":\"invalid_grant\"}"}, "Unreachable", "rt-1"},
        {"rt-1", 0, false, ProviderReply{true, 200, "<html>"}, "Unreachable", "rt-1"},
    };
    constexpr const char* kOutcomes[] = {"", "Expired", "Unreachable", "Refused"};
    gDebugTraceSink = [](const char* line) { gTraces.emplace_back(line); };
    HostConfig host;
    AccessTokenCache cache;
    for (size_t i = 0; i < std::size(kCalls); ++i) {
        const Call& call = kCalls[i];
        SCOPED_TRACE("call " + std::to_string(i));
        if (call.newHost != nullptr) {
            host = HostConfig{};
            host.Auth = OAuthSignIn;
            host.OAuth = {"https://login.example/authorize", kTokenUrl, "client", "mail", ""};
            host.RefreshToken = call.newHost;
            cache = {};
        }
        std::string log;
        const TokenProviderHooks hooks{
            [&](std::string_view url, std::string_view body) {
                EXPECT_EQ(url, kTokenUrl);
                const size_t start = body.find("refresh_token=") + 14;
                log += (log.empty() ? "" : " ") + std::string(body.substr(start, body.find('&', start) - start));
                return call.reply.value_or(ProviderReply{});
            },
            [&] { return call.atMs; },
            [&](const HostConfig& storing) {
                log += " +" + storing.RefreshToken;
                return storing.RefreshToken != kUnstorable;
            },
        };
        const AccessTokenReply reply = HostAccessToken(host, cache, call.renew, hooks);
        EXPECT_EQ(reply.Outcome == AccessTokenOutcome::Token ? reply.Token : kOutcomes[static_cast<int>(reply.Outcome)],
                  call.said);
        EXPECT_EQ(log, call.log);
    }
    gDebugTraceSink = nullptr;
    for (const std::string& line : gTraces)
        EXPECT_TRUE(line.find("at-") == std::string::npos && line.find("rt-") == std::string::npos) << line;
}

}  // namespace
