// The OAuth test rig end to end, with the probe as the only client: a token
// pair issued by the rig's authorization server signs in to the Dovecot that
// asks that server about tokens, over TLS; a token it no longer takes ends
// the sign-in, and while it is down Dovecot asks to be asked later; and
// Wine's browser launch reaches the stand-in browser, which signs in and
// returns to a loopback listener as a real one would.

#include <winsock2.h>
#include <shellapi.h>

#include "oauth_rig.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class OAuthRigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(0x0202, &data), 0);
        settings.BoundMs = 10000;
    }
    void TearDown() override { WSACleanup(); }

    // One check of the user's mailbox at the rig's Dovecot, with `tokens`
    // handing out each access token the probe asks for.
    ProbeResult Check(int32_t protocol, const AccessTokenSource& tokens)
    {
        settings.AccessToken = tokens;
        return GuessState(rig.Mailbox(user, protocol), settings);
    }

    static AccessTokenSource Always(const std::string& token, int& renewals)
    {
        return [token, &renewals](bool renew) {
            renewals += renew ? 1 : 0;
            return AccessTokenReply{AccessTokenOutcome::Token, token};
        };
    }

    const OAuthRig rig = OAuthRig::Shared();
    ProbeSettings settings;
    std::string user;
};

TEST_F(OAuthRigTest, AnIssuedTokenReadsTheMailboxOverImapsAndPop3s)
{
    user = "rig-alice@quillo.test";
    const std::optional<TokenPair> tokens = rig.IssueTokens(user);
    ASSERT_TRUE(tokens);
    // Microsoft's lengths, so that the SASL lines are as long as there.
    EXPECT_GE(tokens->AccessToken.size(), 1500u);
    EXPECT_GE(tokens->RefreshToken.size(), 300u);
    int renewals = 0;

    ProbeResult result = Check(Imap, Always(tokens->AccessToken, renewals));
    EXPECT_EQ(result.State, NoMail) << result.StatusText;
    ASSERT_TRUE(rig.Dovecot().Deliver(user, 2));
    result = Check(Pop3, Always(tokens->AccessToken, renewals));
    EXPECT_EQ(result.State, NewMail) << result.StatusText;
    EXPECT_EQ(result.StatusText, kNewMailText);

    EXPECT_EQ(renewals, 0);
    // The server's side: two logins with the token mechanism, both in TLS.
    EXPECT_EQ(rig.Dovecot().TlsLogins(user), 2) << rig.Dovecot().Log();
    EXPECT_NE(rig.Dovecot().Log().find("user=<" + user + ">, method=XOAUTH2"), std::string::npos);
    const std::optional<RigCounters> counters = rig.Counters();
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->LastRefreshToken, tokens->RefreshToken);
    // The rig's log never holds a whole token.
    EXPECT_EQ(rig.ServerLog().find(tokens->AccessToken.substr(0, 12)), std::string::npos);
}

TEST_F(OAuthRigTest, AnExpiredTokenIsRenewedOnceAndOneNeverTakenAgainEndsTheSignIn)
{
    user = "rig-bob@quillo.test";
    const std::optional<TokenPair> first = rig.IssueTokens(user);
    ASSERT_TRUE(first);
    ASSERT_TRUE(rig.ExpireAccessTokens(first->AccessToken));
    int renewals = 0;
    ProbeResult result = Check(Imap, [&](bool renew) {
        renewals += renew ? 1 : 0;
        // What a token store does once refused: ask the provider anew.
        const std::optional<TokenPair> next = renew ? rig.IssueTokens(user) : first;
        return AccessTokenReply{AccessTokenOutcome::Token, next ? next->AccessToken : ""};
    });
    EXPECT_EQ(result.State, NoMail) << result.StatusText;
    EXPECT_EQ(renewals, 1);

    // Every token dead: the renewed one is refused too, and the check asks
    // the user to sign in again instead of trying on.
    ASSERT_TRUE(rig.ExpireAccessTokens());
    renewals = 0;
    result = Check(Pop3, Always(first->AccessToken, renewals));
    EXPECT_EQ(result.State, Unknown);
    EXPECT_EQ(result.StatusText, kSignInExpiredText);
    EXPECT_EQ(result.Ending, CheckEnding::SignInExpired);
    EXPECT_EQ(renewals, 1);

    // Three tokens refused, each in the connection it came in, and each
    // challenge answered: a client that never answers ends as "didn't finish
    // SASL auth", not as "auth failed".
    const DovecotServer& dovecot = rig.Dovecot();
    EXPECT_EQ(dovecot.LinesWith({"oauth2(" + user + ",", "oauth2 failed"}), 3) << dovecot.Log();
    // Written once the login process has ended, a moment after the check.
    const auto failedConnections = [&] {
        return dovecot.LinesWith({"(auth failed, 2 attempts", "user=<" + user + ">"});
    };
    for (int waited = 0; failedConnections() < 1 && waited < 5000; waited += 20)
        Sleep(20);
    EXPECT_EQ(failedConnections(), 1) << dovecot.Log();
    EXPECT_EQ(rig.Dovecot().TlsLogins(user), 1);
}

TEST_F(OAuthRigTest, WhileTheAuthorizationServerIsDownDovecotAsksToComeBackLater)
{
    user = "rig-dan@quillo.test";
    const std::optional<TokenPair> tokens = rig.IssueTokens(user);
    ASSERT_TRUE(tokens);
    ASSERT_TRUE(rig.StopAuthorizationServer());
    int renewals = 0;
    const ProbeResult result = Check(Imap, Always(tokens->AccessToken, renewals));
    // A start forgets every token: the next test's come from the new server.
    ASSERT_TRUE(rig.StartAuthorizationServer());

    // No challenge and no "auth failed": the token is not to blame, so it is
    // neither renewed nor given up.
    EXPECT_EQ(result.State, Unknown);
    EXPECT_EQ(result.StatusText, kTemporarilyUnavailableText);
    EXPECT_EQ(result.Ending, CheckEnding::ComeBackLater);
    EXPECT_EQ(renewals, 0);
}

TEST_F(OAuthRigTest, TheBrowserThatWineStartsSignsInAndReturnsToTheLoopbackListener)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(listener, INVALID_SOCKET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));

    ASSERT_TRUE(rig.SetBrowserMode("approve rig-carol@quillo.test"));
    ASSERT_TRUE(rig.InstallBrowser());
    // RFC 7636's example challenge: the rig takes only S256.
    const std::string url = rig.Provider().AuthorizeUrl +
                            "?client_id=quillo-test-client&response_type=code&redirect_uri=http%3A%2F%2F127.0.0.1%3A" +
                            port +
                            "%2F&scope=offline_access&state=rig-state&code_challenge_method=S256"
                            "&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";
    EXPECT_GT(reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL)),
              32);

    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval bound{20, 0};
    std::string request;
    if (select(0, &ready, nullptr, nullptr, &bound) == 1) {
        SOCKET browser = accept(listener, nullptr, nullptr);
        char buffer[4096];
        const int got = recv(browser, buffer, sizeof buffer, 0);
        request.assign(buffer, got > 0 ? got : 0);
        const std::string page = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\nSigned in";
        send(browser, page.data(), static_cast<int>(page.size()), 0);
        closesocket(browser);
    }
    closesocket(listener);
    EXPECT_TRUE(rig.UninstallBrowser());

    EXPECT_EQ(request.rfind("GET /?code=", 0), 0u) << request << rig.BrowserLog();
    EXPECT_NE(request.find("&state=rig-state "), std::string::npos) << request;
    for (int waited = 0; rig.BrowserLog().find("page: Signed in") == std::string::npos && waited < 5000; waited += 50)
        Sleep(50);
    EXPECT_NE(rig.BrowserLog().find("page: Signed in"), std::string::npos) << rig.BrowserLog();
}

}  // namespace
