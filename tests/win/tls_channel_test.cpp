// The TLS engine on SChannel under Wine, against the scripted TLS peer
// (support/tls_peer.py, one port per mode) with the test CA trusted in this
// tree's prefix. Wine ignores the hosts file: every case connects to
// 127.0.0.1 and names the server separately.
#include "probe.h"
#include "tls_session.h"

#include <winsock2.h>
// After the windows.h that winsock2.h brings.
#include <wininet.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string PeerFile(const std::string& name)
{
    return "Z:" QUILLO_TLS_PEER_STATE "/" + name;
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The peer's port of each mode.
const std::map<std::string, uint16_t>& PeerPorts()
{
    static const std::map<std::string, uint16_t> ports = [] {
        std::map<std::string, uint16_t> read;
        std::istringstream lines(ReadWhole(PeerFile("ports")));
        std::string mode;
        unsigned port;
        while (lines >> mode >> port)
            read[mode] = static_cast<uint16_t>(port);
        return read;
    }();
    return ports;
}

// A connection to the peer and its TLS session, ended with close_notify.
struct Connection {
    explicit Connection(SocketHandle opened) : socket(opened) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { EndTlsSession(session, socket.get()); }

    UniqueSocket socket;
    TlsSession* session = nullptr;
};

class TlsChannel : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_FALSE(PeerPorts().empty()) << "no " << PeerFile("ports");
    }
    void TearDown() override
    {
        connection.reset();
        WSACleanup();
    }

    // Connects to the mode's port (ending the connection before) and starts
    // TLS with the bound.
    TlsOutcome Start(const std::string& mode, const char* hostName, milliseconds bound = milliseconds(10000),
                     const std::atomic<bool>* stop = nullptr)
    {
        const auto port = PeerPorts().find(mode);
        EXPECT_NE(port, PeerPorts().end()) << mode;
        const std::vector<ServerAddress> addresses = ResolveHost("127.0.0.1", port->second);
        EXPECT_EQ(addresses.size(), 1u);
        connection.reset();
        connection.emplace(OpenStreamSocket(addresses[0].Family));
        EXPECT_EQ(ConnectWithin(connection->socket.get(), addresses[0], 5000), 0);
        const auto start = Clock::now();
        const TlsOutcome outcome =
            StartTlsSession(connection->socket.get(), hostName, start + bound, stop, &connection->session);
        took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
        EXPECT_EQ(outcome == TlsOutcome::Established, connection->session != nullptr);
        return outcome;
    }

    // A reply line, read a few bytes at a time so that the rest of a record
    // waits in the session.
    std::string ReadLine()
    {
        std::string line;
        char bytes[7];
        while (line.find('\n') == std::string::npos) {
            const int count = Receive(bytes, sizeof bytes);
            if (count <= 0)
                return line + "<" + std::to_string(count) + ">";
            line.append(bytes, static_cast<size_t>(count));
        }
        return line;
    }

    int Receive(char* bytes, size_t room)
    {
        return ReceiveSecure(connection->session, connection->socket.get(), bytes, room,
                             Clock::now() + milliseconds(5000), nullptr);
    }

    std::string Ask(const std::string& command)
    {
        const std::string line = command + "\r\n";
        EXPECT_EQ(SendSecure(connection->session, connection->socket.get(), line.data(), line.size()),
                  static_cast<int>(line.size()));
        return ReadLine();
    }

    // The whole POP3 dialogue inside the session, then what the peer saw.
    void ExpectWholeDialogue(const std::string& mode)
    {
        EXPECT_EQ(ReadLine(), "+OK POP3 peer ready.\r\n");
        EXPECT_EQ(Ask("USER alice"), "+OK\r\n");
        EXPECT_EQ(Ask("PASS secret"), "+OK Logged in.\r\n");
        EXPECT_EQ(Ask("STAT"), "+OK 0 0\r\n");
        EXPECT_EQ(Ask("QUIT"), "+OK Logging out.\r\n");
        char rest[16];
        EXPECT_EQ(Receive(rest, sizeof rest), 0) << "the peer's close";
        const std::string log = ReadWhole(PeerFile(mode + ".log"));
        EXPECT_NE(log.find(" tls TLSv1.2\n"), std::string::npos) << log;
        EXPECT_NE(log.find(" < USER alice\n"), std::string::npos) << log;
        EXPECT_NE(log.find(" < QUIT\n"), std::string::npos) << log;
    }

    std::optional<Connection> connection;
    milliseconds took{};
};

TEST_F(TlsChannel, AGoodCertificateIsAcceptedForItsNameAndItsAddressesAndTheDialogueRunsInside)
{
    ASSERT_EQ(Start("pop3s", "mail.test"), TlsOutcome::Established);
    ExpectWholeDialogue("pop3s");
    EXPECT_EQ(Start("pop3s", "MAIL.Test"), TlsOutcome::Established);
    EXPECT_EQ(Start("pop3s", "127.0.0.1"), TlsOutcome::Established);
    EXPECT_EQ(Start("pop3s", "::1"), TlsOutcome::Established);
}

TEST_F(TlsChannel, ACertificateForAnotherNameOrAddressIsAMismatch)
{
    EXPECT_EQ(Start("wrong-name", "mail.test"), TlsOutcome::NameMismatch);
    EXPECT_EQ(Start("pop3s", "127.0.0.2"), TlsOutcome::NameMismatch);
    EXPECT_EQ(Start("pop3s", "::2"), TlsOutcome::NameMismatch);
}

TEST_F(TlsChannel, ACertificateFromAnUnknownCaIsNotTrustedWithOrWithoutThatCa)
{
    EXPECT_EQ(Start("untrusted", "mail.test"), TlsOutcome::NotTrusted);
    EXPECT_EQ(Start("untrusted-chain", "mail.test"), TlsOutcome::NotTrusted);
    EXPECT_EQ(Start("untrusted", "127.0.0.1"), TlsOutcome::NotTrusted);
}

TEST_F(TlsChannel, AnExpiredCertificateIsExpired)
{
    EXPECT_EQ(Start("expired", "mail.test"), TlsOutcome::Expired);
}

TEST_F(TlsChannel, OnlyASubjectAltNameCoversTheHostAndNoWildcardCoversATopLevelDomain)
{
    EXPECT_EQ(Start("wildcard", "mail.test"), TlsOutcome::NameMismatch);
    EXPECT_EQ(Start("wildcard", "imap.example.test"), TlsOutcome::Established);
    EXPECT_EQ(Start("cn-only", "mail.test"), TlsOutcome::NameMismatch);
}

TEST_F(TlsChannel, AMissingIntermediateIsNotTrustedAtOnceAndNeverFetched)
{
    // Wine keeps what a fetch got (here nothing) in the prefix's URL cache
    // and would not ask again: a fetch must reach the peer's listener.
    DeleteUrlCacheEntryA("http://127.0.0.44:8044/intermediate.crt");
    const size_t fetchesBefore = ReadWhole(PeerFile("issuer-url.log")).size();
    EXPECT_EQ(Start("aia", "mail.test", milliseconds(5000)), TlsOutcome::NotTrusted);
    EXPECT_LT(took, milliseconds(2000));
    EXPECT_EQ(ReadWhole(PeerFile("issuer-url.log")).size(), fetchesBefore);
}

TEST_F(TlsChannel, AServerThatOffersNothingAboveTls11Fails)
{
    EXPECT_EQ(Start("tls11", "mail.test"), TlsOutcome::Failed);
}

TEST_F(TlsChannel, PlainPop3OnTheTlsPortFailsAtOnce)
{
    EXPECT_EQ(Start("plain", "mail.test", milliseconds(10000)), TlsOutcome::Failed);
    EXPECT_LT(took, milliseconds(1000));
}

TEST_F(TlsChannel, AServerSilentInTheHandshakeIsLeftAtTheBoundOrAtTheStop)
{
    EXPECT_EQ(Start("silent", "mail.test", milliseconds(2000)), TlsOutcome::Failed);
    EXPECT_GE(took, milliseconds(1900));
    EXPECT_LT(took, milliseconds(3000));

    std::atomic<bool> stop{false};
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(milliseconds(300));
        stop = true;
    });
    EXPECT_EQ(Start("silent", "mail.test", milliseconds(10000), &stop), TlsOutcome::Failed);
    stopper.join();
    EXPECT_LT(took, milliseconds(1000));
}

TEST_F(TlsChannel, RecordsWithoutEndAreLeftAtTheDeadline)
{
    ASSERT_EQ(Start("flood", "mail.test"), TlsOutcome::Established);
    const auto start = Clock::now();
    char bytes[512];
    int got = 0;
    // Slower than the peer sends, so that bytes always wait: no read would
    // block, and only the deadline can end the stream.
    do {
        got = ReceiveSecure(connection->session, connection->socket.get(), bytes, sizeof bytes,
                            start + milliseconds(500), nullptr);
        Sleep(5);
    } while (got > 0 && Clock::now() - start < milliseconds(5000));
    EXPECT_EQ(got, -1);
    EXPECT_LT(Clock::now() - start, milliseconds(1500));
}

// A close_notify is the end of the stream; a record longer than TLS allows is
// no TLS peer's. Neither waits for the deadline.
TEST_F(TlsChannel, AClosingOrOverlongRecordEndsTheReadAtOnce)
{
    for (const auto& [mode, result] : {std::pair{"close-notify", 0}, std::pair{"huge-record", -1}}) {
        ASSERT_EQ(Start(mode, "mail.test"), TlsOutcome::Established) << mode;
        EXPECT_EQ(ReadLine(), "+OK POP3 peer ready.\r\n") << mode;
        const auto start = Clock::now();
        char rest[16];
        EXPECT_EQ(Receive(rest, sizeof rest), result) << mode;
        EXPECT_LT(Clock::now() - start, milliseconds(1000)) << mode;
    }
}

TEST_F(TlsChannel, AHandshakeAndRepliesInOneByteSegmentsComeTogether)
{
    ASSERT_EQ(Start("bytewise", "mail.test", milliseconds(20000)), TlsOutcome::Established);
    ExpectWholeDialogue("bytewise");
}

// The whole check through the engine: each failure has its own text, and
// the peer never sees a user name or password.
class TlsCheck : public TlsChannel {
protected:
    int32_t Check(const std::string& mode, int32_t security)
    {
        host.Name = "127.0.0.1";
        host.UserID = "alice";
        host.Password = "secret";
        host.Security = security;
        host.Port = PeerPorts().at(mode);
        settings.BoundMs = 3000;
        logAt = ReadWhole(PeerFile(mode + ".log")).size();
        result = GuessState(host, settings);
        return result.State;
    }
    // What the mode's log gained during the check.
    std::string Logged(const std::string& mode) const { return ReadWhole(PeerFile(mode + ".log")).substr(logAt); }

    HostConfig host;
    ProbeResult result;
    ProbeSettings settings;
    size_t logAt = 0;
};

TEST_F(TlsCheck, NewMailIsFoundInsideTlsFromTheFirstByteAndAfterStls)
{
    for (const auto& [mode, security] : {std::pair{"pop3s-mail", SslTls}, std::pair{"stls-mail", StartTls}}) {
        EXPECT_EQ(Check(mode, security), NewMail) << mode;
        EXPECT_STREQ(result.StatusText, "New mail waiting!");
        const std::string log = Logged(mode);
        EXPECT_NE(log.find(" tls TLSv1.2\n"), std::string::npos) << log;
        EXPECT_LT(log.find(" tls TLSv1.2\n"), log.find(" < USER alice\n")) << log;
    }
}

TEST_F(TlsCheck, EveryFailureHasItsTextAndNoCredentialsReachThePeer)
{
    struct Case {
        const char* mode;
        int32_t security;
        const char* text;
    };
    for (const Case& c : {Case{"untrusted", SslTls, "Server certificate is not trusted!"},
                          Case{"untrusted-chain", SslTls, "Server certificate is not trusted!"},
                          Case{"wrong-name", SslTls, "Server certificate does not match the host name!"},
                          Case{"expired", SslTls, "Server certificate has expired!"},
                          Case{"not-yet-valid", SslTls, "Server certificate is not yet valid!"},
                          Case{"tls11", SslTls, "Unable to establish a secure connection!"},
                          Case{"plain", SslTls, "Unable to establish a secure connection!"},
                          Case{"silent", SslTls, "Unable to establish a secure connection!"},
                          Case{"stls-refused", StartTls, "Server does not support STARTTLS!"},
                          Case{"stls-inject", StartTls, "Unable to establish a secure connection!"}}) {
        EXPECT_EQ(Check(c.mode, c.security), Unknown) << c.mode;
        EXPECT_STREQ(result.StatusText, c.text) << c.mode;
        const std::string log = Logged(c.mode);
        EXPECT_NE(log.find(" connected\n"), std::string::npos) << c.mode;
        EXPECT_EQ(log.find(" < USER"), std::string::npos) << c.mode << log;
        EXPECT_EQ(log.find(" < PASS"), std::string::npos) << c.mode << log;
    }
}

}  // namespace
