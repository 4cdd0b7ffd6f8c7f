// The IMAP check against a peer in memory: what the server says decides the
// state and the text, credentials never leave before they may, and the
// dialogue stays in step through untagged noise, literals and segments of
// any size.
#include "debug_trace.h"
#include "imap_probe.h"
#include "probe.h"
#include "sasl_token.h"

#include "support/scripted_peer.h"

#include <gtest/gtest.h>

#include <chrono>

#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kGreeting = "* OK [CAPABILITY IMAP4rev1 LITERAL+ AUTH=PLAIN] ready\r\n";

class ImapAgainstScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.Sockets = &ScriptedPeer::Sockets();
        host.Name = "imap.example";
        host.UserID = "anna";
        host.Password = "secret";
        host.Protocol = Imap;
    }

    int32_t Check(std::vector<std::string> pieces, TlsOutcome tls = TlsOutcome::Established)
    {
        PeerScript script;
        script.pieces = std::move(pieces);
        script.tlsOutcome = tls;
        return CheckScript(script);
    }

    int32_t CheckScript(const PeerScript& script)
    {
        peer.reset();
        peer.emplace(script);
        result = GuessState(host, settings);
        return result.State;
    }

    // What the monitor shows while it has room for the server's own words.
    std::string Shown() const { return result.ServerText.empty() ? result.StatusText : result.ServerText; }

    std::string Sent() const
    {
        std::string all;
        for (const std::string& piece : peer->sends())
            all += piece;
        return all;
    }

    ProbeSettings settings;
    HostConfig host;
    ProbeResult result;
    std::optional<ScriptedPeer> peer;
};

TEST_F(ImapAgainstScript, UnseenMailIsNewMailAndSeenMailIsNot)
{
    for (const auto& [status, state] : {std::pair{"* STATUS INBOX (MESSAGES 3 UNSEEN 0)\r\n", NoMail},
                                        std::pair{"* STATUS INBOX (UNSEEN 2 MESSAGES 3)\r\n", NewMail}}) {
        peer.reset();
        EXPECT_EQ(Check({kGreeting, "q1 OK logged in\r\n", status, "q2 OK done\r\n"}), state);
        EXPECT_EQ(result.NewMessages, state == NewMail ? 2 : 0);  // UNSEEN
        EXPECT_EQ(Sent(), "q1 LOGIN \"anna\" \"secret\"\r\nq2 STATUS INBOX (MESSAGES UNSEEN)\r\nq3 LOGOUT\r\n");
        EXPECT_STREQ(result.StatusText, state == NewMail ? "New mail waiting!" : "No new mail.");
        EXPECT_EQ(peer->resolvedPort(), 143);
        EXPECT_EQ(peer->misuse(), "");
    }
}

TEST_F(ImapAgainstScript, GreetingsDecideWhetherToLogIn)
{
    EXPECT_EQ(Check({"* PREAUTH welcome\r\n", "* STATUS INBOX (UNSEEN 1)\r\n", "q1 OK\r\n"}), NewMail);
    EXPECT_EQ(Sent(), "q1 STATUS INBOX (MESSAGES UNSEEN)\r\nq2 LOGOUT\r\n");

    peer.reset();
    EXPECT_EQ(Check({"* BYE too busy\r\n"}), Unknown);
    EXPECT_STREQ(result.StatusText, "Server rejected connect!");
    EXPECT_EQ(Sent(), "");

    peer.reset();
    EXPECT_EQ(Check({}), Unknown);
    EXPECT_STREQ(result.StatusText, "Server disconnect: immediate!");
}

TEST_F(ImapAgainstScript, ARefusedLoginIsAWrongPasswordAndAMissingStatusIsABadReply)
{
    for (const char* refusal : {"q1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n", "q1 BAD syntax\r\n"}) {
        peer.reset();
        EXPECT_EQ(Check({kGreeting, refusal}), Unknown);
        EXPECT_STREQ(result.StatusText, "Server rejected the login - wrong user name or password?");
        EXPECT_EQ(result.Ending, CheckEnding::LoginRefused);
    }
    for (const char* status : {"", "* STATUS INBOX (MESSAGES 3)\r\n", "* STATUS Archive (UNSEEN 4)\r\n"}) {
        peer.reset();
        EXPECT_EQ(Check({kGreeting, "q1 OK\r\n", status, "q2 OK\r\n"}), Unknown);
        EXPECT_STREQ(result.StatusText, "Server rejected the STATUS command!");
    }
}

TEST_F(ImapAgainstScript, UntaggedNoiseAndLiteralsInOneByteSegmentsKeepTheDialogueInStep)
{
    const std::string server = kGreeting + "* 4 EXISTS\r\n* OK [ALERT] {maintenance}\r\nq0 OK not ours\r\n" +
                               "q1 OK in\r\n* CAPABILITY IMAP4rev1\r\n* STATUS {5}\r\nINBOX (MESSAGES 9 UNSEEN 1)\r\n" +
                               "* 1 RECENT\r\nq2 OK\r\n";
    std::vector<std::string> bytes;
    for (const char c : server)
        bytes.emplace_back(1, c);
    EXPECT_EQ(Check(bytes), NewMail);
    EXPECT_EQ(peer->sends().size(), 3u);
    // One bound per command, however many lines come before its reply.
    EXPECT_EQ(peer->deadlineChanges(), 3u);
}

TEST_F(ImapAgainstScript, CredentialsGoQuotedOrAsLiteralsButNeverRaw)
{
    host.Password = "a\"b\\c";
    Check({kGreeting, "q1 OK\r\n", "* STATUS INBOX (UNSEEN 0)\r\n", "q2 OK\r\n"});
    EXPECT_EQ(peer->sends().front(), "q1 LOGIN \"anna\" \"a\\\"b\\\\c\"\r\n");

    peer.reset();
    host.Password = "line\r\nq9 DELETE INBOX";
    EXPECT_EQ(Check({kGreeting, "+ go on\r\n", "q1 OK\r\n", "* STATUS INBOX (UNSEEN 0)\r\n", "q2 OK\r\n"}), NoMail);
    ASSERT_GE(peer->sends().size(), 2u);
    EXPECT_EQ(peer->sends()[0], "q1 LOGIN \"anna\" {" + std::to_string(host.Password.size()) + "}\r\n");
    EXPECT_EQ(peer->sends()[1], host.Password + "\r\n");
    // The literal's bytes wait for the server's go-ahead.
    EXPECT_EQ(peer->deliveredBeforeSend()[1], kGreeting.size() + std::string("+ go on\r\n").size());

    peer.reset();
    EXPECT_EQ(Check({kGreeting, "q1 NO no literals here\r\n"}), Unknown);
    EXPECT_EQ(peer->sends().size(), 1u);
    EXPECT_STREQ(result.StatusText, "Server rejected the login - wrong user name or password?");
}

TEST_F(ImapAgainstScript, NoCredentialsLeaveUnlessTheConnectionMaySendThem)
{
    struct Case {
        int32_t security;
        std::vector<std::string> pieces;
        TlsOutcome tls;
        const char* text;
        const char* sent;
    };
    const std::vector<Case> cases{
        {NoSecurity,
         {"* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] ready\r\n"},
         TlsOutcome::Established,
         "Server requires a secure connection!",
         ""},
        {NoSecurity,
         {"* OK ready\r\n", "* CAPABILITY IMAP4rev1 LOGINDISABLED\r\nq1 OK\r\n"},
         TlsOutcome::Established,
         "Server requires a secure connection!",
         "q1 CAPABILITY\r\n"},
        {StartTls,
         {"* OK ready\r\n", "* CAPABILITY IMAP4rev1\r\nq1 OK\r\n"},
         TlsOutcome::Established,
         "Server does not support STARTTLS!",
         "q1 CAPABILITY\r\n"},
        {StartTls,
         {"* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n", "q1 NO\r\n"},
         TlsOutcome::Established,
         "Server does not support STARTTLS!",
         "q1 STARTTLS\r\n"},
        {StartTls,
         {"* PREAUTH [CAPABILITY IMAP4rev1 STARTTLS] hello\r\n"},
         TlsOutcome::Established,
         "Server does not support STARTTLS!",
         ""},
        {StartTls,
         {"* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n", "q1 OK go\r\n* STATUS INBOX (UNSEEN 9)\r\n"},
         TlsOutcome::Established,
         "Unable to establish a secure connection!",
         "q1 STARTTLS\r\n"},
        {StartTls,
         {"* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n", "q1 OK go\r\n"},
         TlsOutcome::NotTrusted,
         "Server certificate is not trusted!",
         "q1 STARTTLS\r\n"},
        {SslTls, {}, TlsOutcome::NameMismatch, "Server certificate does not match the host name!", ""},
    };
    for (const Case& c : cases) {
        peer.reset();
        host.Security = c.security;
        EXPECT_EQ(Check(c.pieces, c.tls), Unknown);
        EXPECT_STREQ(result.StatusText, c.text);
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(peer->misuse(), "");
    }
}

TEST_F(ImapAgainstScript, StartTlsThenLoginInsideTls)
{
    host.Security = StartTls;
    EXPECT_EQ(Check({"* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] ready\r\n", "q1 OK begin\r\n", "q2 OK\r\n",
                     "* STATUS INBOX (UNSEEN 0)\r\nq3 OK\r\n"}),
              NoMail);
    EXPECT_EQ(peer->sendsBeforeTls(), 1u);
    EXPECT_EQ(peer->sends()[1], "q2 LOGIN \"anna\" \"secret\"\r\n");
    EXPECT_TRUE(peer->tlsEnded());

    peer.reset();
    host.Security = SslTls;
    Check({kGreeting, "q1 OK\r\n", "* STATUS INBOX (UNSEEN 0)\r\nq2 OK\r\n"});
    EXPECT_EQ(peer->resolvedPort(), 993);
    EXPECT_EQ(peer->sendsBeforeTls(), 0u);
}

TEST_F(ImapAgainstScript, ResponseCodesTellARefusedLoginFromAServerThatWantsToBeAskedLater)
{
    struct Case {
        std::string server;  // after the greeting
        std::string text;
        CheckEnding ending;
    };
    const CheckEnding refused = CheckEnding::LoginRefused;
    const CheckEnding later = CheckEnding::ComeBackLater;
    const Case cases[] = {
        {"q1 NO [PRIVACYREQUIRED] Use TLS\r\n", kSecureConnectionRequiredText, refused},
        {"q1 NO [UNAVAILABLE] Backend down\r\n", kTemporarilyUnavailableText, later},
        {"q1 BAD [InUse] locked\r\n", kMailboxInUseText, later},
        {std::string("q1 NO [EXPIRED]  Password\x01") + "expired \r\n", "Password expired", refused},
        {"q1 NO [CONTACTADMIN] " + std::string(70, 'c') + "\r\n", std::string(64, 'c'), refused},
        {"q1 OK\r\nq2 NO [UNAVAILABLE] later\r\n", kTemporarilyUnavailableText, later},
        {"q1 OK\r\nq2 NO [NONEXISTENT]\r\n", "Server rejected the STATUS command!", CheckEnding::Done},
        {"* BYE [UNAVAILABLE] Maintenance\r\n", kTemporarilyUnavailableText, later},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        EXPECT_EQ(Check({c.server.starts_with("* BYE") ? "" : kGreeting, c.server}), Unknown);
        EXPECT_EQ(Shown(), c.text);
        EXPECT_EQ(result.Ending, c.ending);
    }
    // The usual text stands in for the server's words where the monitor has
    // no room left for them (monitor/host_table).
    Check({kGreeting, "q1 NO [EXPIRED] Password expired\r\n"});
    EXPECT_EQ(result.StatusText, kRejectedLoginText);

    // Nothing of the password follows a refused user name literal.
    host.UserID = "\xe9ric";
    EXPECT_EQ(Check({kGreeting, "q1 NO [PRIVACYREQUIRED]\r\n"}), Unknown);
    EXPECT_EQ(Sent(), "q1 LOGIN {4}\r\n");
    EXPECT_STREQ(result.StatusText, "Server requires a secure connection!");
}

TEST_F(ImapAgainstScript, LinesOfAnyLengthAreReadButEndlessResponsesAndByeEndTheCheckAtOnce)
{
    EXPECT_EQ(Check({"* OK [CAPABILITY IMAP4rev1] " + std::string(4952, 'g') + "\r\n",
                     "q1 OK\r\n* STATUS INBOX (UNSEEN 1)\r\nq2 OK\r\n"}),
              NewMail);

    settings.BoundMs = 60000;
    PeerScript literals;
    literals.pieces = {"* OK hi {4096}\r\n", std::string(4096, 'x') + " {4096}\r\n"};
    literals.repeatedUpTo = size_t{8} << 20;
    EXPECT_EQ(CheckScript(literals), Unknown);
    EXPECT_STREQ(result.StatusText, "Server reply is too long!");
    EXPECT_LT(peer->delivered(), (size_t{1} << 20) + 8192);

    settings.BoundMs = 3000;
    PeerScript bye;
    bye.pieces = {kGreeting, "* BYE Server shutting down\r\n"};
    bye.silentAtEnd = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CheckScript(bye), Unknown);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_STREQ(result.StatusText, "Server disconnect: after PASS command!");

    settings.BoundMs = 50;
    PeerScript noise;
    noise.pieces = {kGreeting, "* 1 EXISTS\r\n"};
    noise.repeatedUpTo = size_t{16} << 20;
    EXPECT_EQ(CheckScript(noise), Unknown);
    EXPECT_STREQ(result.StatusText, "Server did not answer in time!");
    EXPECT_LT(peer->delivered(), size_t{16} << 20);
}

TEST_F(ImapAgainstScript, AnOAuthHostSignsInWithAFreshTokenOnceMoreAfterARefusalAndNeverInTheClear)
{
    const std::string both = "* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2 AUTH=OAUTHBEARER] hi\r\n";
    const std::string bearer = "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN AUTH=OAUTHBEARER] hi\r\n";
    const std::string challenge = "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n";
    const std::string failed = " NO [AUTHENTICATIONFAILED] Authentication failed.\r\n";
    const std::string unseen = "* STATUS INBOX (UNSEEN 0)\r\n";
    const std::string status = " STATUS INBOX (MESSAGES UNSEEN)\r\n";
    const ScriptedTokens named{{}, 1800};  // as long as Microsoft's
    auto xoauth2 = [&](size_t n) { return Base64("user=anna\001auth=Bearer " + named.Token(n) + "\001\001"); };
    auto bearer993 = [&](size_t n) {
        return Base64("n,a=anna,\001host=imap.example\001port=993\001auth=Bearer " + named.Token(n) + "\001\001");
    };
    struct Case {
        int32_t security;
        int32_t auth;
        std::string server;
        const char* text;
        CheckEnding ending;
        std::string sent;
        size_t requests;  // for a token: the first, then one that renews
    };
    using enum CheckEnding;
    const Case cases[] = {
        {SslTls, OAuthSignIn, both + "q1 OK\r\n" + unseen + "q2 OK\r\n", kNoNewMailText, Done,
         "q1 AUTHENTICATE XOAUTH2 " + xoauth2(1) + "\r\nq2" + status + "q3 LOGOUT\r\n", 1},
        // No SASL-IR: the response after the go-ahead.
        {SslTls, OAuthSignIn, bearer + "+ \r\nq1 OK\r\n" + unseen + "q2 OK\r\n", kNoNewMailText, Done,
         "q1 AUTHENTICATE OAUTHBEARER\r\n" + bearer993(1) + "\r\nq2" + status + "q3 LOGOUT\r\n", 1},
        // The refusal's challenge answered, then a renewed token.
        {SslTls, OAuthSignIn, both + challenge + "q1" + failed + "q2 OK\r\n" + unseen + "q3 OK\r\n", kNoNewMailText,
         Done,
         "q1 AUTHENTICATE XOAUTH2 " + xoauth2(1) + "\r\n\r\nq2 AUTHENTICATE XOAUTH2 " + xoauth2(2) + "\r\nq3" + status +
             "q4 LOGOUT\r\n",
         2},
        {SslTls, OAuthSignIn, bearer + "+ \r\n" + challenge + "q1" + failed + "+ \r\n" + challenge + "q2 NO\r\n",
         kSignInExpiredText, SignInExpired,
         "q1 AUTHENTICATE OAUTHBEARER\r\n" + bearer993(1) + "\r\nAQ==\r\nq2 AUTHENTICATE OAUTHBEARER\r\n" +
             bearer993(2) + "\r\nAQ==\r\n",
         2},
        {SslTls, OAuthSignIn, both + "q1 NO [UNAVAILABLE] Temporary authentication failure.\r\n",
         kTemporarilyUnavailableText, ComeBackLater, "q1 AUTHENTICATE XOAUTH2 " + xoauth2(1) + "\r\n", 1},
        // The ways of signing in are asked for again inside TLS.
        {StartTls, OAuthSignIn,
         "* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\r\nq1 OK\r\n* CAPABILITY IMAP4rev1 SASL-IR "
         "AUTH=XOAUTH2\r\nq2 OK\r\nq3 OK\r\n" +
             unseen + "q4 OK\r\n",
         kNoNewMailText, Done,
         "q1 STARTTLS\r\nq2 CAPABILITY\r\nq3 AUTHENTICATE XOAUTH2 " + xoauth2(1) + "\r\nq4" + status + "q5 LOGOUT\r\n",
         1},
        {NoSecurity, OAuthSignIn, both, kSecureConnectionRequiredText, Done, "", 0},
        {SslTls, 2, both, kUnsupportedSignInText, Done, "", 0},
    };
    const std::vector<bool> renewals{false, true};
    gDebugTraceSink = [](const char* line) { EXPECT_EQ(std::string(line).find("TOKEN-"), std::string::npos); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        host.Security = c.security;
        host.Auth = c.auth;
        ScriptedTokens tokens{{}, 1800};
        settings.AccessToken = tokens.Source();
        Check(LineByLine(c.server));
        EXPECT_EQ(result.StatusText, c.text);
        EXPECT_EQ(result.Ending, c.ending);
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(tokens.Requests, std::vector<bool>(renewals.begin(), renewals.begin() + c.requests));
        EXPECT_EQ(peer->opened(), c.requests == 0 ? 0 : 1);
        EXPECT_EQ(peer->sendsBeforeTls(), c.security == StartTls ? 1u : 0u);
        EXPECT_EQ(result.ServerText, "");
    }
    gDebugTraceSink = nullptr;
}

TEST(ImapStatus, TheInboxUnseenCountIsReadFromAnyWellFormedStatus)
{
    auto unseen = [](std::vector<std::string> parts) { return UnseenInInbox(ImapResponse{std::move(parts)}); };
    EXPECT_EQ(unseen({"* STATUS INBOX (MESSAGES 2 UNSEEN 7)"}), 7u);
    EXPECT_EQ(unseen({"* STATUS INBOX (MESSAGES 2 UNSEEN 1) "}), 1u);
    EXPECT_EQ(unseen({"* status \"inbox\" (UNSEEN 4294967295)"}), 4294967295u);
    EXPECT_EQ(unseen({"* STATUS {5}", "InBox", " (UNSEEN 1)"}), 1u);
    for (const std::vector<std::string>& malformed : std::vector<std::vector<std::string>>{
             {"* STATUS INBOX (UNSEEN 4294967296)"},
             {"* STATUS INBOX (UNSEEN)"},
             {"* STATUS INBOX (UNSEEN x1)"},
             {"* STATUS INBOX UNSEEN 1"},
             {"* STATUS \"INBOX (UNSEEN 1)"},
             {"* STATUS \"IN\\\"BOX\" (UNSEEN 1)"},
             {"* STATUS INBOXES (UNSEEN 1)"},
             {"* STATUS "},
             {"* STATUS {5}", "INBOX"},
             {"* SEARCH 1 2"},
         })
        EXPECT_EQ(unseen(malformed), std::nullopt) << malformed.front();
}

}  // namespace
