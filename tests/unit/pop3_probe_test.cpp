// One check of one host against a scripted POP3 server on loopback.
#include "probe.h"

#include "debug_trace.h"
#include "probe_connection.h"
#include "support/pop3_script_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<const char*> gProgress;
std::vector<std::string> gDebugLines;

void RecordProgress(const char* text)
{
    gProgress.push_back(text);
}

void RecordDebugLine(const char* line)
{
    gDebugLines.emplace_back(line);
}

using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class Probe : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.BoundMs = 3000;
        settings.Progress = &RecordProgress;
        gProgress.clear();
        gDebugLines.clear();
        gDebugTraceSink = &RecordDebugLine;
        host.Name = "127.0.0.1";
        host.UserID = "u";
        host.Password = "p";
    }
    void TearDown() override { gDebugTraceSink = nullptr; }

    int32_t CheckAgainst(Pop3ScriptServer& server)
    {
        EXPECT_TRUE(server.listening());
        host.Port = server.port();
        return Check();
    }

    int32_t Check()
    {
        result = GuessState(host, settings);
        return result.State;
    }

    bool Traced(const std::string& line) const
    {
        return std::find(gDebugLines.begin(), gDebugLines.end(), line) != gDebugLines.end();
    }

    ProbeSettings settings;
    HostConfig host;
    ProbeResult result;
};

TEST_F(Probe, AnEmptyMailboxIsReportedAfterExactlyTheFourCommandsWithProgressPostedOnTheWay)
{
    settings.BoundMs = 30000;  // the QUIT reply never comes and must not be awaited
    Pop3ScriptServer server({ScriptedPop3Session("+OK 0 0\r\n")});
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(CheckAgainst(server), NoMail);
    EXPECT_LT(MillisecondsSince(start), 2000);
    EXPECT_EQ(result.StatusText, kNoNewMailText);

    const ConnectionRecord seen = server.WaitForEnd(0);
    EXPECT_EQ(seen.received, "CAPA\r\nUSER u\r\nPASS p\r\nSTAT\r\nQUIT\r\n");
    EXPECT_TRUE(seen.clientClosed);

    ASSERT_EQ(gProgress.size(), 3u);
    const char* progress[] = {kGettingAddressText, kConnectingText, kQueryingText};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(gProgress[i], progress[i]);  // the constant itself, not a copy
    ASSERT_FALSE(gDebugLines.empty());
    EXPECT_EQ(gDebugLines.front(), "- GuessState: [127.0.0.1]");
}

TEST_F(Probe, TheStatReplyDecidesOnlyByTheCharacterAfterPlusOkAndBlank)
{
    struct Case {
        const char* reply;
        int32_t state;
        const char* text;
        int32_t count = -1;  // the message count for the notification; -1: none
    };
    const Case cases[] = {
        {"+OK 0 0\r\n", NoMail, kNoNewMailText, 0},   {"+OK 2 320\r\n", NewMail, kNewMailText, 2},
        {"+ok 0 0\r\n", NoMail, kNoNewMailText, 0},   {"+OK\r\n", Unknown, kRejectedStatText},
        {"+OK2 320\r\n", Unknown, kRejectedStatText}, {"+OK \r\n", NewMail, kNewMailText},
        {"+OK  0\r\n", NewMail, kNewMailText},        {"-ERR no\r\n", Unknown, kRejectedStatText},
        {"+OK 3x 1\r\n", NewMail, kNewMailText},      {"+OK 99999999999 1\r\n", NewMail, kNewMailText, INT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        Pop3ScriptServer server({ScriptedPop3Session(c.reply)});
        EXPECT_EQ(CheckAgainst(server), c.state);
        EXPECT_EQ(result.StatusText, c.text);
        EXPECT_EQ(result.NewMessages.value_or(-1), c.count);
        const ConnectionRecord seen = server.WaitForEnd(0);
        EXPECT_TRUE(seen.clientClosed);
        const char* expected = c.state == Unknown ? "CAPA\r\nUSER u\r\nPASS p\r\nSTAT\r\n"
                                                  : "CAPA\r\nUSER u\r\nPASS p\r\nSTAT\r\nQUIT\r\n";
        EXPECT_EQ(seen.received, expected);
    }
}

TEST_F(Probe, EveryFailingStepEndsWithItsOwnTextAndTheConnectionClosed)
{
    struct Case {
        Script script;
        const char* text;
        const char* debugLine;
        const char* received;
    };
    const std::string ok = "+OK\r\n";
    const ScriptStep capa = Say(kCapaAnswer);
    const Case cases[] = {
        {{Hang()}, kDisconnectImmediateText, "- Disconnected after connect!", ""},
        {{Say("-ERR busy\r\n")}, kRejectedConnectText, "- Server rejected connect!", ""},
        {{Say(ok), Await(), capa, Await(), Hang()},
         kDisconnectAfterUserText,
         "- Disconnected after sending user info!",
         "CAPA\r\nUSER u\r\n"},
        {{Say(ok), Await(), capa, Await(), Say("-ERR who?\r\n")},
         kRejectedUserText,
         "- Server rejected USER info!",
         "CAPA\r\nUSER u\r\n"},
        {{Say(ok), Await(), capa, Await(), Say(ok), Await(), Hang()},
         kDisconnectAfterPassText,
         "- Disconnected after sending password!",
         "CAPA\r\nUSER u\r\nPASS p\r\n"},
        {{Say(ok), Await(), capa, Await(), Say(ok), Await(), Say("-ERR wrong\r\n")},
         kRejectedPassText,
         "- Server rejected PASS info!",
         "CAPA\r\nUSER u\r\nPASS p\r\n"},
        {{Say(ok), Await(), capa, Await(), Say(ok), Await(), Say(ok), Await(), Hang()},
         kRejectedStatText,
         "- Server rejected STAT info!",
         "CAPA\r\nUSER u\r\nPASS p\r\nSTAT\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.debugLine);
        gDebugLines.clear();
        Pop3ScriptServer server({c.script});
        EXPECT_EQ(CheckAgainst(server), Unknown);
        EXPECT_EQ(result.StatusText, c.text);
        EXPECT_TRUE(Traced(c.debugLine));
        const ConnectionRecord seen = server.WaitForEnd(0);
        EXPECT_TRUE(seen.ended);
        EXPECT_EQ(seen.received, c.received);
        // Where the server did not hang up itself, it sees the probe go.
        if (c.script.back().kind != ScriptStep::Hang) {
            EXPECT_TRUE(seen.clientClosed);
        }
    }
}

TEST_F(Probe, AGreetingIsJudgedByItsFirstThreeCharactersOnly)
{
    Pop3ScriptServer server({ScriptedPop3Session("+OK 1 10\r\n", "+OKAY welcome\r\n")});
    EXPECT_EQ(CheckAgainst(server), NewMail);
    EXPECT_EQ(result.StatusText, kNewMailText);
}

TEST_F(Probe, ServersThatCannotBeReachedFailBeforeAnyDialogue)
{
    // A port that is bound but not listening refuses, and nobody else can
    // take it meanwhile.
    UniqueSocket bound(OpenStreamSocket());
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(bound.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    socklen_t size = sizeof local;
    getsockname(bound.get(), reinterpret_cast<sockaddr*>(&local), &size);
    host.Port = ntohs(local.sin_port);
    EXPECT_EQ(Check(), Unknown);
    EXPECT_EQ(result.StatusText, kConnectFailedText);
    EXPECT_TRUE(Traced(" - Connect failed: -1"));

    gDebugLines.clear();
    host.Name = "no-such-host.invalid";
    EXPECT_EQ(Check(), Unknown);
    EXPECT_EQ(result.StatusText, kNoSuchHostText);
    EXPECT_TRUE(Traced("- Bogus address"));
    ASSERT_EQ(gProgress.size(), 3u);  // two progress texts of the first check, one of the second
    EXPECT_EQ(gProgress.back(), kGettingAddressText);

    // Without a free descriptor no socket can be made.
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    rlimit none = limit;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    gProgress.clear();
    host.Name = "127.0.0.1";
    const int32_t state = Check();
    setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_EQ(state, Unknown);
    EXPECT_EQ(result.StatusText, kNoSocketText);
    EXPECT_TRUE(Traced("- Failed to create socket"));
    // The socket is made for the family of the address found.
    ASSERT_EQ(gProgress.size(), 2u);
    EXPECT_EQ(gProgress.back(), kConnectingText);
}

TEST_F(Probe, NamesAreLookedUpAndLiteralsOfBothFamiliesWork)
{
    Pop3ScriptServer server({ScriptedPop3Session("+OK 0 0\r\n"), ScriptedPop3Session("+OK 0 0\r\n")});
    host.Name = "localhost";
    EXPECT_EQ(CheckAgainst(server), NoMail);
    host.Name = "127.0.0.1";
    EXPECT_EQ(CheckAgainst(server), NoMail);
    EXPECT_EQ(server.connections(), 2u);

    Pop3ScriptServer six({ScriptedPop3Session("+OK 1 10\r\n")}, "::1");
    host.Name = "::1";
    EXPECT_EQ(CheckAgainst(six), NewMail);
}

TEST_F(Probe, EmptyAndLongestCredentialsAreSentWhole)
{
    host.UserID = "";
    host.Password = "";
    Pop3ScriptServer empty({ScriptedPop3Session("+OK 0 0\r\n")});
    EXPECT_EQ(CheckAgainst(empty), NoMail);
    EXPECT_EQ(empty.WaitForEnd(0).received, "CAPA\r\nUSER \r\nPASS \r\nSTAT\r\nQUIT\r\n");

    host.UserID = std::string(98, 'U');
    host.Password = std::string(98, 'P');
    Pop3ScriptServer longest({ScriptedPop3Session("+OK 0 0\r\n")});
    EXPECT_EQ(CheckAgainst(longest), NoMail);
    EXPECT_EQ(longest.WaitForEnd(0).received,
              "CAPA\r\nUSER " + host.UserID + "\r\nPASS " + host.Password + "\r\nSTAT\r\nQUIT\r\n");
}

TEST_F(Probe, CredentialsWithLineBreaksAreNeverSent)
{
    host.UserID = "u\r\nDELE 1";
    Pop3ScriptServer user({ScriptedPop3Session("+OK 0 0\r\n")});
    EXPECT_EQ(CheckAgainst(user), Unknown);
    EXPECT_EQ(result.StatusText, kRejectedUserText);
    ConnectionRecord seen = user.WaitForEnd(0);
    EXPECT_EQ(seen.received, "CAPA\r\n");
    EXPECT_TRUE(seen.clientClosed);

    host.UserID = "u";
    host.Password = "p\nDELE 1";
    Pop3ScriptServer pass({ScriptedPop3Session("+OK 0 0\r\n")});
    EXPECT_EQ(CheckAgainst(pass), Unknown);
    EXPECT_EQ(result.StatusText, kRejectedPassText);
    seen = pass.WaitForEnd(0);
    EXPECT_EQ(seen.received, "CAPA\r\nUSER u\r\n");
    EXPECT_TRUE(seen.clientClosed);
}

TEST_F(Probe, RepliesInSingleByteSegmentsAreAssembledAndLongRepliesKeepTheDialogueInStep)
{
    const std::string longGreeting = "+OK " + std::string(300, 'g') + "\r\n";
    Pop3ScriptServer server({{Say(longGreeting), Await(), Say(kCapaAnswer, true), Await(), Say("+O\rK\r\n", true),
                              Await(), Say("+OK\n"), Await(), Say("+OK 0 0\r\n", true)}});
    EXPECT_EQ(CheckAgainst(server), NoMail);
    EXPECT_EQ(server.WaitForEnd(0).received, "CAPA\r\nUSER u\r\nPASS p\r\nSTAT\r\nQUIT\r\n");
}

// ReceiveLine on its own, over a plain connection to the scripted server.
class LineReader : public Probe {
protected:
    void Connect(Pop3ScriptServer& server)
    {
        ASSERT_TRUE(socket);
        ASSERT_EQ(ConnectWithin(socket.get(), ResolveHost("127.0.0.1", server.port()).front(), 2000), 0);
    }
    std::string Next()
    {
        const char* line = ReceiveLine(connection);
        return line == nullptr ? "<none>" : line;
    }
    UniqueSocket socket{OpenStreamSocket()};
    ProbeConnection connection{socket.get(), settings};
};

TEST_F(LineReader, DropsEveryCrAndEndsALineAtABareLf)
{
    Pop3ScriptServer server({{Say("a\rb\r\r\n", true), Say("bare\nnext\r\n"), Say("\r\n"), Say("cut"), Hang()}});
    Connect(server);
    EXPECT_EQ(Next(), "ab");
    EXPECT_EQ(Next(), "bare");
    EXPECT_EQ(Next(), "next");
    EXPECT_EQ(Next(), "");
    EXPECT_EQ(Next(), "<none>");  // closed before a line feed
}

TEST_F(LineReader, KeepsTheFirst127CharactersAndRefusesLinesBeyond4096Bytes)
{
    const std::string kept(127, 'k');
    const std::string limit(kReplyLineLimit, 'x');
    Pop3ScriptServer server(
        {{Say(kept + "dropped\r\n"), Say(limit + "\n"), Say("+OK after\r\n"), Say(limit + "y\n"), Say("+OK\r\n")}});
    Connect(server);
    EXPECT_EQ(Next(), kept);
    EXPECT_EQ(Next(), std::string(127, 'x'));
    EXPECT_EQ(Next(), "+OK after");
    EXPECT_EQ(Next(), "<none>");
}

TEST_F(Probe, ASilentOrDrippingServerHoldsAStepOnlyUntilTheBound)
{
    settings.BoundMs = 400;
    struct Case {
        Script script;
        const char* text;
    };
    const Case cases[] = {
        {{}, kNoAnswerInTimeText},
        {{Drip("+OK never ending", 20)}, kNoAnswerInTimeText},
        // Every capability line comes in time, but the list never ends.
        {{Say("+OK\r\n"), Await(), Say("+OK\r\n"), Drip("USER\r\n", 5)}, kNoAnswerInTimeText},
        {{Say("+OK\r\n"), Await(), Say(kCapaAnswer), Await()}, kNoAnswerInTimeText},
        {{Say("+OK\r\n"), Await(), Say(kCapaAnswer), Await(), Say("+OK\r\n"), Await(), Drip("+OK", 30)},
         kNoAnswerInTimeText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Pop3ScriptServer server({c.script});
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(CheckAgainst(server), Unknown);
        const long took = MillisecondsSince(start);
        EXPECT_GE(took, 380);
        EXPECT_LT(took, 1500);
        EXPECT_EQ(result.StatusText, c.text);
        EXPECT_TRUE(server.WaitForEnd(0).clientClosed);
    }
}

TEST_F(Probe, AConnectThatIsNeverAnsweredEndsAtTheBound)
{
    // A listener whose accept queue is full lets further connects hang.
    UniqueSocket listener(OpenStreamSocket());
    ASSERT_TRUE(listener);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(listen(listener.get(), 0), 0);
    socklen_t size = sizeof local;
    getsockname(listener.get(), reinterpret_cast<sockaddr*>(&local), &size);
    const uint16_t port = ntohs(local.sin_port);
    std::vector<std::unique_ptr<UniqueSocket>> queued;
    for (int i = 0; i < 8; ++i) {
        queued.push_back(std::make_unique<UniqueSocket>(OpenStreamSocket()));
        if (ConnectWithin(queued.back()->get(), ResolveHost("127.0.0.1", port).front(), 200) != 0)
            break;
    }

    settings.BoundMs = 500;
    host.Port = port;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Check(), Unknown);
    const long took = MillisecondsSince(start);
    EXPECT_EQ(result.StatusText, kConnectFailedText);
    EXPECT_GE(took, 480);
    EXPECT_LT(took, 2000);
}

TEST_F(Probe, TheDefaultBoundEndsASilentServerAfterThirtySeconds)
{
    settings.BoundMs = ProbeSettings{}.BoundMs;
    Pop3ScriptServer server(std::vector<Script>{Script{}});
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(CheckAgainst(server), Unknown);
    const long took = MillisecondsSince(start);
    EXPECT_EQ(result.StatusText, kNoAnswerInTimeText);
    EXPECT_GE(took, 29900);
    EXPECT_LT(took, 33000);
}

}  // namespace
