// The check against a peer in memory: the bytes a loopback server cannot be
// made to send on demand (a NUL inside a reply, a reset in the middle of a
// line, a line drowned past the limit).
#include "debug_trace.h"
#include "probe.h"
#include "probe_connection.h"
#include "sasl_token.h"

#include "support/scripted_peer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

class ProbeAgainstScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.Sockets = &ScriptedPeer::Sockets();
        host.Name = "mail.example";
        host.UserID = "u";
        host.Password = "p";
    }

    static PeerScript Serving(std::vector<std::string> pieces)
    {
        PeerScript script;
        script.pieces = std::move(pieces);
        return script;
    }

    // The greeting, no capabilities, USER and PASS accepted, then the given
    // pieces.
    static PeerScript AfterLogin(std::vector<std::string> pieces)
    {
        pieces.insert(pieces.begin(), {"+OK ready\r\n", "-ERR\r\n", "+OK\r\n", "+OK\r\n"});
        return Serving(std::move(pieces));
    }

    std::string Sent(const ScriptedPeer& peer) const
    {
        std::string all;
        for (const std::string& piece : peer.sends())
            all += piece;
        return all;
    }

    int32_t Check()
    {
        result = GuessState(host, settings);
        return result.State;
    }

    ProbeSettings settings;
    HostConfig host;
    ProbeResult result;
};

const std::string kWholeDialogue = "CAPA\r\nUSER u\r\nPASS p\r\nSTAT\r\nQUIT\r\n";

TEST_F(ProbeAgainstScript, EveryCommandLeavesInOneSendAndAShortSendIsCompleted)
{
    {
        ScriptedPeer peer(AfterLogin({"+OK 0 0\r\n"}));
        EXPECT_EQ(Check(), NoMail);
        EXPECT_EQ(peer.sends(),
                  (std::vector<std::string>{"CAPA\r\n", "USER u\r\n", "PASS p\r\n", "STAT\r\n", "QUIT\r\n"}));
    }
    // A send that takes only part of the line is followed by one for the rest.
    PeerScript cramped = AfterLogin({"+OK 0 0\r\n"});
    cramped.sendRoom = 3;
    ScriptedPeer peer(cramped);
    EXPECT_EQ(Check(), NoMail);
    EXPECT_EQ(Sent(peer), kWholeDialogue);
    EXPECT_EQ(peer.misuse(), "");
}

TEST_F(ProbeAgainstScript, RepliesThatArriveTogetherAreJudgedOneByOne)
{
    struct Case {
        PeerScript script;
        int32_t state;
        const char* text;
        std::string sent;
    };
    const Case cases[] = {
        {Serving({"+OK ready\r\n-ERR\r\n-ERR who?\r\n"}), Unknown, kRejectedUserText, "CAPA\r\nUSER u\r\n"},
        {Serving({"+OK ready\r\n+OK\r\nUSER\r\n.\r\n+OK\r\n+OK\r\n+OK 2 320\r\n"}), NewMail, kNewMailText,
         kWholeDialogue},
        // Lines cut anywhere, each segment carrying the start of the next.
        {Serving({"+OK re", "ady\r\n+OK\r\nUS", "ER\r\n.", "\r\n+O", "K\r\n+OK\r", "\n+OK 0", " 0\r\n"}), NoMail,
         kNoNewMailText, kWholeDialogue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScriptedPeer peer(c.script);
        EXPECT_EQ(Check(), c.state);
        EXPECT_EQ(result.StatusText, c.text);
        EXPECT_EQ(Sent(peer), c.sent);
        EXPECT_EQ(peer.misuse(), "");
    }
}

TEST_F(ProbeAgainstScript, ANulByteFromTheServerEndsWhatTheDialogueJudges)
{
    struct Case {
        PeerScript script;
        int32_t state;
        const char* text;
    };
    PeerScript nulInGreeting;
    nulInGreeting.pieces = {std::string("+O\0K ready\r\n", 12)};
    const Case cases[] = {
        {nulInGreeting, Unknown, kRejectedConnectText},
        // The character after "+OK " is the NUL, not the digit 0.
        {AfterLogin({std::string("+OK \0 0\r\n", 9)}), NewMail, kNewMailText},
        {AfterLogin({std::string("+OK 0\0junk\r\n", 12)}), NoMail, kNoNewMailText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScriptedPeer peer(c.script);
        EXPECT_EQ(Check(), c.state);
        EXPECT_EQ(result.StatusText, c.text);
        EXPECT_EQ(peer.closed(), 1);
        EXPECT_EQ(peer.misuse(), "");
    }
}

TEST_F(ProbeAgainstScript, AResetOrADrownedLineIsAMissingReplyForItsStep)
{
    PeerScript resetInUserReply;
    resetInUserReply.pieces = {"+OK ready\r\n", "-ERR\r\n", "+O"};
    resetInUserReply.endsInFailure = true;
    {
        ScriptedPeer peer(resetInUserReply);
        EXPECT_EQ(Check(), Unknown);
        EXPECT_EQ(result.StatusText, kDisconnectAfterUserText);
        EXPECT_EQ(Sent(peer), "CAPA\r\nUSER u\r\n");
        EXPECT_EQ(peer.closed(), 1);
    }

    // 4096 bytes before the line feed still make a line; one more does not,
    // and the reader stops there instead of reading on.
    for (const size_t length : {kReplyLineLimit, kReplyLineLimit + 1}) {
        SCOPED_TRACE(length);
        ScriptedPeer peer(AfterLogin({"+OK 0" + std::string(length - 5, ' '), "\n"}));
        const int32_t state = Check();
        if (length == kReplyLineLimit) {
            EXPECT_EQ(state, NoMail);
            EXPECT_EQ(Sent(peer), kWholeDialogue);
        } else {
            EXPECT_EQ(state, Unknown);
            EXPECT_EQ(result.StatusText, kRejectedStatText);
            EXPECT_EQ(peer.delivered(),
                      std::string("+OK ready\r\n-ERR\r\n+OK\r\n+OK\r\n").size() + kReplyLineLimit + 1);
        }
    }
}

TEST_F(ProbeAgainstScript, CapaDecidesWhetherUserMayGoOutInPlainTextAndHowOftenTheServerLetsUsIn)
{
    struct Case {
        std::string server;
        const char* text;
        std::optional<int32_t> delay;  // the server's LOGIN-DELAY, when the check learnt it
        std::string sent;
    };
    const std::string list = "+OK ready\r\n+OK\r\n";
    const std::string loggedIn = "+OK\r\n+OK\r\n+OK 0 0\r\n";
    const Case cases[] = {
        {list + "STLS\r\nSASL PLAIN\r\n.\r\n", "Server requires a secure connection!", 0, "CAPA\r\n"},
        {list + "stls\r\nUser\r\nLOGIN-DELAY 900 USER\r\n.\r\n" + loggedIn, kNoNewMailText, 900, kWholeDialogue},
        {list + "LOGIN-DELAY 86400\r\n.\r\n" + loggedIn, kNoNewMailText, 3600, kWholeDialogue},
        {"+OK ready\r\n-ERR\r\n" + loggedIn, kNoNewMailText, 0, kWholeDialogue},
        {"-ERR [SYS/PERM] go away\r\n", kRejectedConnectText, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        ScriptedPeer peer(Serving({c.server}));
        Check();
        EXPECT_STREQ(result.StatusText, c.text);
        EXPECT_EQ(result.ServerMinimumDelay, c.delay);
        EXPECT_EQ(Sent(peer), c.sent);
        EXPECT_EQ(result.Ending, CheckEnding::Done);
    }
}

TEST_F(ProbeAgainstScript, ResponseCodesTellARefusedLoginFromAServerThatWantsToBeAskedLater)
{
    struct Case {
        int32_t security;
        std::string server;
        const char* text;
        CheckEnding ending;
        size_t sends;  // CAPA, USER, PASS, STAT: no PASS after a refused USER
    };
    const std::string g = "+OK ready\r\n-ERR\r\n";
    const CheckEnding refused = CheckEnding::LoginRefused;
    const CheckEnding later = CheckEnding::ComeBackLater;
    const Case cases[] = {
        {NoSecurity, g + "-ERR [AUTH] Plaintext disallowed.\r\n", kSecureConnectionRequiredText, refused, 2},
        {SslTls, g + "-ERR [AUTH] Not here.\r\n", kRejectedUserText, refused, 2},
        {NoSecurity, g + "-ERR [SYS/PERM]\r\n", kRejectedUserText, refused, 2},
        {NoSecurity, g + "+OK\r\n-ERR [AUTH] Authentication failed.\r\n", kRejectedPassText, refused, 3},
        {NoSecurity, g + "+OK\r\n-ERR [LOGIN-DELAYED]\r\n", kRejectedPassText, refused, 3},
        {NoSecurity, g + "+OK\r\n-ERR [login-delay 60] 1 minute apart\r\n", kWaitBeforeNextCheckText, later, 3},
        {NoSecurity, "-ERR [IN-USE] locked\r\n", kMailboxInUseText, later, 0},
        {NoSecurity, g + "+OK\r\n+OK\r\n-ERR [SYS/TEMP/disk] later\r\n", kTemporarilyUnavailableText, later, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        host.Security = c.security;
        ScriptedPeer peer(Serving({c.server}));
        EXPECT_EQ(Check(), Unknown);
        EXPECT_EQ(result.StatusText, c.text);
        EXPECT_EQ(result.Ending, c.ending);
        EXPECT_EQ(peer.sends().size(), c.sends);
    }
    EXPECT_STREQ(kWaitBeforeNextCheckText, "Server asks to wait before the next check.");
    EXPECT_STREQ(kMailboxInUseText, "Mailbox is in use by another program.");
    EXPECT_STREQ(kTemporarilyUnavailableText, "Server is temporarily unavailable.");
}

TEST_F(ProbeAgainstScript, AMissingReplySaysWhetherTheServerClosedFellSilentOrSentTooMuch)
{
    settings.BoundMs = 50;
    PeerScript silent = Serving({"+OK ready\r\n-ERR\r\n"});
    silent.silentAtEnd = true;
    // A server that never stops sending capabilities holds the step only
    // until the bound, though every receive brings bytes.
    PeerScript endless = Serving({"+OK ready\r\n+OK\r\n", "X-NOISE\r\n"});
    endless.repeatedUpTo = size_t{64} << 20;
    const std::pair<PeerScript, const char*> cases[] = {
        {silent, "Server did not answer in time!"},
        {endless, "Server did not answer in time!"},
        {AfterLogin({}), "Server rejected STAT cmd - non-POP3 server?"},
        {Serving({"+OK ready\r\n-ERR\r\n+OK\r\n" + std::string(kReplyLineLimit + 1, 'x')}),
         "Server reply is too long!"},
    };
    for (const auto& [script, text] : cases) {
        SCOPED_TRACE(text);
        ScriptedPeer peer(script);
        EXPECT_EQ(Check(), Unknown);
        EXPECT_STREQ(result.StatusText, text);
        EXPECT_LT(peer.delivered(), size_t{64} << 20);
    }
}

TEST_F(ProbeAgainstScript, AnEmptyHostNameIsNoSuchHostAndNothingIsSent)
{
    // The name service may answer "" with an address, as Wine's gives this
    // machine's own; the scripted one answers every name.
    ScriptedPeer peer(AfterLogin({"+OK 0 0\r\n"}));
    host.Name = "";
    EXPECT_EQ(Check(), Unknown);
    EXPECT_EQ(result.StatusText, kNoSuchHostText);
    EXPECT_EQ(peer.opened(), 0);
    EXPECT_TRUE(peer.sends().empty());
    EXPECT_EQ(peer.misuse(), "");
}

TEST_F(ProbeAgainstScript, AHostThatCannotBeServedAsStoredIsNeverContacted)
{
    // A lost password: what is left in Password is not this host's to send.
    // A security mode or port that this version does not know: guessing
    // could send a password meant for TLS in the clear.
    struct Case {
        bool passwordLost;
        int32_t security;
        int32_t protocol;
        int32_t port;
        const char* text;
    };
    for (const Case& c : {Case{true, SslTls, Pop3, 0, "Password must be entered again!"},
                          Case{false, 3, Pop3, 0, "Unsupported security setting!"},
                          Case{false, -1, Imap, 0, "Unsupported security setting!"},
                          Case{false, SslTls, 2, 0, "Unsupported protocol setting!"},
                          Case{false, SslTls, Pop3, 65536, "Invalid server port!"},
                          Case{false, NoSecurity, Imap, -1, "Invalid server port!"}}) {
        host.PasswordLost = c.passwordLost;
        host.Security = c.security;
        host.Protocol = c.protocol;
        host.Port = c.port;
        ScriptedPeer peer(AfterLogin({"+OK 1 100\r\n"}));
        EXPECT_EQ(Check(), Unknown);
        EXPECT_STREQ(result.StatusText, c.text);
        EXPECT_EQ(peer.opened(), 0);
        EXPECT_EQ(peer.resolvedPort(), 0);
    }
}

TEST_F(ProbeAgainstScript, EachSecurityModeHasItsPortAndAStoredPortWins)
{
    struct Case {
        int32_t security;
        int32_t port;
        uint16_t used;
    };
    for (const Case& c : {Case{NoSecurity, 0, 110}, Case{StartTls, 0, 110}, Case{SslTls, 0, 995},
                          Case{SslTls, 110, 110}, Case{NoSecurity, 2110, 2110}}) {
        host.Security = c.security;
        host.Port = c.port;
        ScriptedPeer peer(Serving({}));
        Check();
        EXPECT_EQ(peer.resolvedPort(), c.used);
    }
}

TEST_F(ProbeAgainstScript, SslTlsSecuresTheConnectionBeforeTheGreetingAndEndsItBeforeTheClose)
{
    host.Security = SslTls;
    ScriptedPeer peer(AfterLogin({"+OK 2 300\r\n"}));
    EXPECT_EQ(Check(), NewMail);
    EXPECT_TRUE(peer.tlsStarted());
    EXPECT_EQ(peer.tlsHostName(), "mail.example");
    EXPECT_EQ(peer.sendsBeforeTls(), 0u);
    EXPECT_EQ(Sent(peer), kWholeDialogue);
    EXPECT_TRUE(peer.tlsEnded());
    EXPECT_EQ(peer.closed(), 1);
    EXPECT_EQ(peer.misuse(), "");
}

TEST_F(ProbeAgainstScript, StartTlsAsksWithStlsAndGoesOnWithUserInsideTls)
{
    host.Security = StartTls;
    ScriptedPeer peer(Serving({"+OK ready\r\n", "+OK Begin TLS\r\n", "-ERR\r\n", "+OK\r\n", "+OK\r\n", "+OK 0 0\r\n"}));
    EXPECT_EQ(Check(), NoMail);
    EXPECT_EQ(peer.sendsBeforeTls(), 1u);
    EXPECT_EQ(Sent(peer), "STLS\r\n" + kWholeDialogue);
    EXPECT_TRUE(peer.tlsEnded());
    EXPECT_EQ(peer.misuse(), "");
}

TEST_F(ProbeAgainstScript, NoCredentialsLeaveUnlessTlsIsUp)
{
    // Each case: the server's side, what TLS comes to, the text. Bytes after
    // the STLS "+OK" in its segment are no reply and no TLS data (a man in
    // the middle could speak for the server inside the session with them).
    struct Case {
        int32_t security;
        std::vector<std::string> pieces;
        TlsOutcome tls;
        const char* text;
    };
    const std::vector<Case> cases{
        {StartTls,
         {"+OK ready\r\n", "-ERR unknown command\r\n"},
         TlsOutcome::Established,
         "Server does not support STARTTLS!"},
        {StartTls, {"+OK ready\r\n"}, TlsOutcome::Established, "Server does not support STARTTLS!"},
        {StartTls,
         {"+OK ready\r\n", "+OK go\r\n+OK 9 9\r\n"},
         TlsOutcome::Established,
         "Unable to establish a secure connection!"},
        {StartTls, {"+OK ready\r\n", "+OK go\r\n"}, TlsOutcome::NotTrusted, "Server certificate is not trusted!"},
        {SslTls, {}, TlsOutcome::Expired, "Server certificate has expired!"},
        {SslTls, {}, TlsOutcome::NameMismatch, "Server certificate does not match the host name!"},
        {SslTls, {}, TlsOutcome::Failed, "Unable to establish a secure connection!"},
    };
    for (const Case& c : cases) {
        host.Security = c.security;
        PeerScript script = Serving(c.pieces);
        script.tlsOutcome = c.tls;
        ScriptedPeer peer(script);
        EXPECT_EQ(Check(), Unknown);
        EXPECT_STREQ(result.StatusText, c.text);
        EXPECT_EQ(Sent(peer), c.security == StartTls ? "STLS\r\n" : "");
        EXPECT_EQ(peer.closed(), 1);
        EXPECT_EQ(peer.misuse(), "");
    }
}

TEST_F(ProbeAgainstScript, AnAddressThatRefusesLeavesTheNextItsTurnWithinTheOneBound)
{
    settings.BoundMs = 3000;
    PeerScript script = AfterLogin({"+OK 0 0\r\n"});
    script.deadAddresses = 2;
    ScriptedPeer peer(script);
    EXPECT_EQ(Check(), NoMail);
    ASSERT_EQ(peer.connectBounds().size(), 3u);
    // A third of the bound, then half of what is left, then the rest.
    EXPECT_LE(peer.connectBounds()[0], 1000);
    EXPECT_GE(peer.connectBounds()[0], 900);
    EXPECT_LE(peer.connectBounds()[1], 1500);
    EXPECT_LE(peer.connectBounds()[2], 3000);
    EXPECT_GE(peer.connectBounds()[2], 2700);
    EXPECT_EQ(peer.opened(), 3);
    EXPECT_EQ(peer.closed(), 3);
    EXPECT_EQ(peer.misuse(), "");
}

TEST_F(ProbeAgainstScript, AnOAuthHostSignsInWithAFreshTokenOnceMoreAfterARefusalAndNeverInTheClear)
{
    const std::string g = "+OK ready\r\n";
    const std::string capa = g + "+OK\r\nSASL XOAUTH2 OAUTHBEARER\r\n.\r\n";
    const std::string challenge = "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n";
    const std::string failed = "-ERR [AUTH] Authentication failed.\r\n";
    // "AUTH XOAUTH2 " and the response to a token of 159 characters make
    // 255 octets with CR LF, the most a command may have.
    auto xoauth2 = [](size_t n, size_t length) {
        return Base64("user=u\001auth=Bearer " + ScriptedTokens{{}, length}.Token(n) + "\001\001");
    };
    auto bearer995 = [](size_t n) {
        return Base64("n,a=u,\001host=mail.example\001port=995\001auth=Bearer " + ScriptedTokens{}.Token(n) +
                      "\001\001");
    };
    using enum CheckEnding;
    using enum AccessTokenOutcome;
    struct Case {
        int32_t security;
        int32_t auth;
        std::string server;
        const char* text;
        CheckEnding ending;
        std::string sent;
        size_t requests;                    // for a token: the first, then one that renews
        AccessTokenOutcome answer = Token;  // to the last request
        size_t length = 0;                  // of the tokens
    };
    const Case cases[] = {
        {SslTls, OAuthSignIn, capa + "+OK Logged in.\r\n+OK 0 0\r\n", kNoNewMailText, Done,
         "CAPA\r\nAUTH XOAUTH2 " + xoauth2(1, 159) + "\r\nSTAT\r\nQUIT\r\n", 1, Token, 159},
        {SslTls, OAuthSignIn, capa + "+ \r\n+OK\r\n+OK 2 10\r\n", kNewMailText, Done,
         "CAPA\r\nAUTH XOAUTH2\r\n" + xoauth2(1, 160) + "\r\nSTAT\r\nQUIT\r\n", 1, Token, 160},
        // The refusal's challenge answered, then a renewed token.
        {SslTls, OAuthSignIn, capa + challenge + failed + "+OK\r\n+OK 0 0\r\n", kNoNewMailText, Done,
         "CAPA\r\nAUTH XOAUTH2 " + xoauth2(1, 0) + "\r\n\r\nAUTH XOAUTH2 " + xoauth2(2, 0) + "\r\nSTAT\r\nQUIT\r\n", 2},
        {SslTls, OAuthSignIn,
         g + "+OK\r\nSASL PLAIN OAUTHBEARER\r\n.\r\n" + challenge + failed + challenge + "-ERR no\r\n",
         kSignInExpiredText, SignInExpired,
         "CAPA\r\nAUTH OAUTHBEARER " + bearer995(1) + "\r\nAQ==\r\nAUTH OAUTHBEARER " + bearer995(2) + "\r\nAQ==\r\n",
         2},
        {SslTls, OAuthSignIn, capa + "-ERR [SYS/TEMP] Temporary authentication failure.\r\n",
         kTemporarilyUnavailableText, ComeBackLater, "CAPA\r\nAUTH XOAUTH2 " + xoauth2(1, 0) + "\r\n", 1},
        {StartTls, OAuthSignIn, g + "+OK go\r\n" + capa.substr(g.size()) + "+OK\r\n+OK 0 0\r\n", kNoNewMailText, Done,
         "STLS\r\nCAPA\r\nAUTH XOAUTH2 " + xoauth2(1, 0) + "\r\nSTAT\r\nQUIT\r\n", 1},
        {SslTls, OAuthSignIn, g + "+OK\r\nUSER\r\n.\r\n", kRejectedSignInText, LoginRefused, "CAPA\r\n", 1},
        {NoSecurity, OAuthSignIn, capa, kSecureConnectionRequiredText, Done, "", 0},
        {SslTls, -1, capa, kUnsupportedSignInText, Done, "", 0},
        // What the provider said before the connect.
        {SslTls, OAuthSignIn, capa, kSignInExpiredText, SignInExpired, "", 1, Expired},
        {SslTls, OAuthSignIn, capa, kRejectedSignInText, LoginRefused, "", 1, Refused},
        {SslTls, OAuthSignIn, capa, kSignInServerUnreachableText, ComeBackLater, "", 1, Unreachable},
    };
    const std::vector<bool> renewals{false, true};
    gDebugTraceSink = [](const char* line) { EXPECT_EQ(std::string(line).find("TOKEN-"), std::string::npos); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        host.Security = c.security;
        host.Auth = c.auth;
        std::vector<AccessTokenOutcome> outcomes(c.requests, Token);
        if (c.requests > 0)
            outcomes.back() = c.answer;
        ScriptedTokens tokens{outcomes, c.length};
        settings.AccessToken = tokens.Source();
        ScriptedPeer peer(Serving(LineByLine(c.server)));
        Check();
        EXPECT_EQ(result.StatusText, c.text);
        EXPECT_EQ(result.Ending, c.ending);
        EXPECT_EQ(Sent(peer), c.sent);
        EXPECT_EQ(tokens.Requests, std::vector<bool>(renewals.begin(), renewals.begin() + c.requests));
        EXPECT_EQ(peer.opened(), c.sent.empty() ? 0 : 1);
        EXPECT_EQ(peer.sendsBeforeTls(), c.security == StartTls ? 1u : 0u);
        EXPECT_EQ(result.ServerText, "");
    }
    // Without a source of tokens, no server is contacted.
    settings.AccessToken = nullptr;
    ScriptedPeer peer(Serving({capa}));
    Check();
    EXPECT_EQ(result.StatusText, kSignInServerUnreachableText);
    EXPECT_EQ(peer.opened(), 0);
    gDebugTraceSink = nullptr;
}

TEST(ScriptedPeerInput, FuzzerBytesBecomePiecesRunsAndTheServersEnd)
{
    const uint8_t bytes[] = {3, '+', 'O', 'K', 1, '\n', 0, 2, 'x', 2, 0, 1, 9, 9};
    PeerScript script;
    ReadServerSide(bytes, sizeof bytes, script);
    ASSERT_EQ(script.pieces.size(), 3u);
    EXPECT_EQ(script.pieces[0], "+OK");
    EXPECT_EQ(script.pieces[1], "\n");
    EXPECT_EQ(script.pieces[2], std::string(128, 'x'));
    EXPECT_TRUE(script.endsInFailure);  // and what follows the end is ignored

    const uint8_t cut[] = {5, 'a', 'b'};
    PeerScript shortened;
    ReadServerSide(cut, sizeof cut, shortened);
    ASSERT_EQ(shortened.pieces.size(), 1u);
    EXPECT_EQ(shortened.pieces[0], "ab");
    EXPECT_FALSE(shortened.endsInFailure);
}

}  // namespace
