// The probe as the program runs it: Winsock 2 under Wine, port 110, against
// the scripted server on a loopback address of each test's own.

// Full windows.h brings a winioctl.h name that clashes with MailState.
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>

#include "probe.h"

#include "support/pop3_script_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<const char*> gProgress;

void RecordProgress(const char* text)
{
    gProgress.push_back(text);
}

class WinsockProbe : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        settings.Progress = &RecordProgress;
        gProgress.clear();
        host.UserID = "user";
        host.Password = "secret";
    }
    void TearDown() override { WSACleanup(); }

    int32_t Check()
    {
        result = GuessState(host, settings);
        return result.State;
    }

    ProbeSettings settings;
    HostConfig host;
    ProbeResult result;
};

#define REQUIRE_LISTENING(server) \
    if (!(server).listening())    \
    GTEST_SKIP() << "cannot listen on port 110 (needs root)"

TEST_F(WinsockProbe, ChecksAServerOnPort110)
{
    Pop3ScriptServer server({ScriptedPop3Session("+OK 3 900\r\n")}, "127.0.0.21", 110);
    REQUIRE_LISTENING(server);
    host.Name = "127.0.0.21";
    EXPECT_EQ(Check(), NewMail);
    EXPECT_EQ(result.StatusText, kNewMailText);
    const ConnectionRecord seen = server.WaitForEnd(0);
    EXPECT_EQ(seen.received, "CAPA\r\nUSER user\r\nPASS secret\r\nSTAT\r\nQUIT\r\n");
    EXPECT_TRUE(seen.clientClosed);
    EXPECT_EQ(gProgress, (std::vector<const char*>{kGettingAddressText, kConnectingText, kQueryingText}));
}

TEST_F(WinsockProbe, ChecksAServerOnAnIPv6Literal)
{
    Pop3ScriptServer server({ScriptedPop3Session("+OK 0 0\r\n")}, "::1", 0);
    ASSERT_TRUE(server.listening());
    host.Name = "::1";
    host.Port = server.port();
    EXPECT_EQ(Check(), NoMail);
    EXPECT_EQ(server.WaitForEnd(0).received, "CAPA\r\nUSER user\r\nPASS secret\r\nSTAT\r\nQUIT\r\n");
}

TEST_F(WinsockProbe, ASilentServerIsLeftAtTheBound)
{
    Pop3ScriptServer server({{Say("+OK\r\n"), Await(), Say(kCapaAnswer), Await()}}, "127.0.0.22", 110);
    REQUIRE_LISTENING(server);
    host.Name = "127.0.0.22";
    settings.BoundMs = 300;
    const DWORD start = GetTickCount();
    EXPECT_EQ(Check(), Unknown);
    const DWORD took = GetTickCount() - start;
    EXPECT_EQ(result.StatusText, kNoAnswerInTimeText);
    EXPECT_GE(took, 250u);
    EXPECT_LT(took, 2000u);
    EXPECT_TRUE(server.WaitForEnd(0).clientClosed);
}

TEST_F(WinsockProbe, ARefusedOrHangingConnectFailsWithinTheBound)
{
    host.Name = "127.0.0.23";  // nothing listens there
    EXPECT_EQ(Check(), Unknown);
    EXPECT_EQ(result.StatusText, kConnectFailedText);

    // A listener whose accept queue is full lets further connects hang.
    UniqueSocket listener(OpenStreamSocket());
    ASSERT_TRUE(listener);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(110);
    local.sin_addr.s_addr = inet_addr("127.0.0.24");
    if (bind(listener.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        GTEST_SKIP() << "cannot listen on port 110 (needs root)";
    ASSERT_EQ(listen(listener.get(), 0), 0);
    std::vector<std::unique_ptr<UniqueSocket>> queued;
    for (int i = 0; i < 8; ++i) {
        queued.push_back(std::make_unique<UniqueSocket>(OpenStreamSocket()));
        if (ConnectWithin(queued.back()->get(), ResolveHost("127.0.0.24", 110).front(), 200) != 0)
            break;
    }
    host.Name = "127.0.0.24";
    settings.BoundMs = 400;
    const DWORD start = GetTickCount();
    EXPECT_EQ(Check(), Unknown);
    const DWORD took = GetTickCount() - start;
    EXPECT_EQ(result.StatusText, kConnectFailedText);
    EXPECT_GE(took, 350u);
    EXPECT_LT(took, 2000u);
}

// The socket's event is set once for the bytes and the close together; the
// close must still be seen at once, not at the bound.
TEST_F(WinsockProbe, ACloseThatCameWithTheLastBytesIsSeenAtOnce)
{
    Pop3ScriptServer server({{Say("+OK ready\r\n"), Hang()}});
    ASSERT_TRUE(server.listening());
    UniqueSocket socket(OpenStreamSocket());
    ASSERT_EQ(ConnectWithin(socket.get(), ResolveHost("127.0.0.1", server.port()).front(), 2000), 0);
    ASSERT_TRUE(server.WaitForEnd(0).ended);
    Sleep(50);

    const DWORD start = GetTickCount();
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string received;
    char bytes[64];
    int got = 0;
    while ((got = ReceiveBefore(socket.get(), bytes, sizeof bytes, deadline)) > 0)
        received.append(bytes, static_cast<size_t>(got));
    EXPECT_EQ(got, 0);
    EXPECT_EQ(received, "+OK ready\r\n");
    EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST_F(WinsockProbe, AServerThatNeverStopsSendingIsLeftAtTheDeadline)
{
    Pop3ScriptServer server({{Drip("x", 0)}});
    ASSERT_TRUE(server.listening());
    UniqueSocket socket(OpenStreamSocket());
    ASSERT_EQ(ConnectWithin(socket.get(), ResolveHost("127.0.0.1", server.port()).front(), 2000), 0);

    const auto start = std::chrono::steady_clock::now();
    char bytes[16];
    int got = 0;
    // Slower than the server sends, so that bytes always wait: no read would
    // block, and only the deadline can end the stream.
    do {
        got = ReceiveBefore(socket.get(), bytes, sizeof bytes, start + std::chrono::milliseconds(300));
        Sleep(5);
    } while (got > 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(3));
    EXPECT_EQ(got, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

TEST_F(WinsockProbe, ANameThatNeitherResolvesNorParsesIsNoSuchHost)
{
    host.Name = "no-such-host.invalid";
    EXPECT_EQ(Check(), Unknown);
    EXPECT_EQ(result.StatusText, kNoSuchHostText);
}

TEST_F(WinsockProbe, ACheckSocketIsNotInheritedByProgramsStartedMeanwhile)
{
    UniqueSocket socket(OpenStreamSocket());
    ASSERT_TRUE(socket);
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(socket.get()), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
}

}  // namespace
