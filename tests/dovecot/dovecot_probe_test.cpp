// The probe, as the monitor's check thread runs it, against a real Dovecot:
// plain POP3 on 110, and TLS through the system's engine on 995 (SSL/TLS)
// and on 110 after STLS (STARTTLS); IMAP on 993 (SSL/TLS) and on 143 after
// STARTTLS, and in plain text on 143 where the server refuses that. The
// states and status texts that the tray icon and the menu show come from
// here. Dovecot's log shows what it saw of each check.

#include <winsock2.h>

#include "dovecot_server.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

namespace {

class DovecotProbe : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(0x0202, &data), 0);
        // A real server answers within milliseconds; a hang fails the test sooner.
        settings.BoundMs = 5000;
    }
    void TearDown() override { WSACleanup(); }

    // One check of the user's mailbox, as the check thread runs it. The
    // server's address is the host name: Wine resolves no name of the test
    // certificate (it ignores the hosts file), which holds the address too.
    int32_t Check(const DovecotServer& server, const std::string& user, const std::string& password,
                  int32_t security = NoSecurity, int32_t protocol = Pop3)
    {
        host.Name = server.address();
        host.UserID = user;
        host.Password = password;
        host.Security = security;
        host.Protocol = protocol;
        host.Port = 0;
        result = GuessState(host, settings);
        return result.State;
    }

    // Dovecot writes the line of a failed login once the login process has
    // ended, which may be a moment after the check closed its side.
    static int Eventually(const std::function<int()>& count, int expected)
    {
        for (int waited = 0; count() < expected && waited < 5000; waited += 20)
            Sleep(20);
        return count();
    }

    ProbeSettings settings;
    HostConfig host;
    ProbeResult result;
};

TEST_F(DovecotProbe, AMailboxIsNoNewMailWhileEmptyAndNewMailWhileItHoldsMessagesEachTimeItIsRefilled)
{
    const DovecotServer dovecot = DovecotServer::Shared();
    ASSERT_TRUE(dovecot.AddUser("probe-alice", "Secret1"));

    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NoMail) << result.StatusText;
    EXPECT_EQ(result.StatusText, kNoNewMailText);

    ASSERT_TRUE(dovecot.Deliver("probe-alice", 3));
    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NewMail) << result.StatusText;
    EXPECT_EQ(result.StatusText, kNewMailText);
    // The check only counts: the messages stay, and the next check sees them again.
    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NewMail) << result.StatusText;

    ASSERT_TRUE(dovecot.Empty("probe-alice"));
    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NoMail) << result.StatusText;
    EXPECT_EQ(result.StatusText, kNoNewMailText);
    ASSERT_TRUE(dovecot.Deliver("probe-alice", 1));
    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NewMail) << result.StatusText;

    // Five logins, each ended with QUIT and nothing deleted.
    EXPECT_EQ(dovecot.Logins("probe-alice"), 5);
    // Plain stays plain, though the server offers STLS.
    EXPECT_EQ(dovecot.TlsLogins("probe-alice"), 0);
    const std::string log = dovecot.Log();
    EXPECT_NE(log.find("pop3(probe-alice)"), std::string::npos) << log;
    EXPECT_EQ(log.find("del=1"), std::string::npos) << log;
}

TEST_F(DovecotProbe, AWrongPasswordAndAnUnknownUserAreBothRejectedAtPass)
{
    const DovecotServer dovecot = DovecotServer::Shared();
    ASSERT_TRUE(dovecot.AddUser("probe-bob", "right"));
    ASSERT_TRUE(dovecot.Deliver("probe-bob", 1));

    EXPECT_EQ(Check(dovecot, "probe-bob", "wrong"), Unknown) << result.StatusText;
    EXPECT_EQ(result.StatusText, kRejectedPassText);
    EXPECT_EQ(Check(dovecot, "probe-nobody", "right"), Unknown) << result.StatusText;
    EXPECT_EQ(result.StatusText, kRejectedPassText);
    // Failures are answered at once (no failure delay), and a good login
    // right after them is not held back.
    const DWORD before = GetTickCount();
    EXPECT_EQ(Check(dovecot, "probe-bob", "right"), NewMail) << result.StatusText;
    EXPECT_LT(GetTickCount() - before, 2000u);

    EXPECT_EQ(dovecot.FailedLogins("probe-bob"), 1);
    EXPECT_EQ(dovecot.FailedLogins("probe-nobody"), 1);
    EXPECT_EQ(dovecot.Logins("probe-bob"), 1);
}

TEST_F(DovecotProbe, AStoppedServerCannotBeConnectedAndTheFirstCheckAfterItsStartRecovers)
{
    // An instance of this test's own: stopping the shared one would fail
    // the other Dovecot tests.
    const DovecotServer dovecot = DovecotServer::Spare();
    ASSERT_TRUE(dovecot.Start()) << "cannot run Dovecot on " << dovecot.address() << ":110 (needs root)";
    ASSERT_TRUE(dovecot.AddUser("probe-carol", "pw"));
    EXPECT_EQ(Check(dovecot, "probe-carol", "pw"), NoMail) << result.StatusText;

    ASSERT_TRUE(dovecot.Stop());
    EXPECT_EQ(Check(dovecot, "probe-carol", "pw"), Unknown) << result.StatusText;
    EXPECT_EQ(result.StatusText, kConnectFailedText);

    // A fresh start forgets users and mail.
    ASSERT_TRUE(dovecot.Start());
    ASSERT_TRUE(dovecot.AddUser("probe-carol", "pw"));
    ASSERT_TRUE(dovecot.Deliver("probe-carol", 2));
    EXPECT_EQ(Check(dovecot, "probe-carol", "pw"), NewMail) << result.StatusText;
    EXPECT_EQ(result.StatusText, kNewMailText);
    EXPECT_TRUE(dovecot.Stop());
}

TEST_F(DovecotProbe, SslTlsAndStartTlsEachSeeNoNewMailThenNewMailAndRejectAWrongPasswordAllInsideTls)
{
    const DovecotServer dovecot = DovecotServer::Shared();
    for (const auto& [security, user] : {std::pair{SslTls, "probe-tls-ivy"}, {StartTls, "probe-stls-jon"}}) {
        SCOPED_TRACE(security == SslTls ? "SSL/TLS" : "STARTTLS");
        ASSERT_TRUE(dovecot.AddUser(user, "Secret2"));

        EXPECT_EQ(Check(dovecot, user, "Secret2", security), NoMail) << result.StatusText;
        EXPECT_EQ(result.StatusText, kNoNewMailText);
        ASSERT_TRUE(dovecot.Deliver(user, 2));
        EXPECT_EQ(Check(dovecot, user, "Secret2", security), NewMail) << result.StatusText;
        EXPECT_EQ(result.StatusText, kNewMailText);
        EXPECT_EQ(Check(dovecot, user, "wrong", security), Unknown) << result.StatusText;
        EXPECT_EQ(result.StatusText, kRejectedPassText);

        // Dovecot saw each of them inside TLS, the refused one too.
        EXPECT_EQ(dovecot.Logins(user), 2);
        EXPECT_EQ(dovecot.TlsLogins(user), 2) << dovecot.Log();
        EXPECT_EQ(Eventually([&] { return dovecot.TlsFailedLogins(user); }, 1), 1) << dovecot.Log();
        EXPECT_EQ(dovecot.FailedLogins(user), 1);
    }
}

TEST_F(DovecotProbe, AStoppedServerCannotBeConnectedOverSslTlsAndTheFirstCheckAfterItsStartRecovers)
{
    const DovecotServer dovecot = DovecotServer::Spare();
    ASSERT_TRUE(dovecot.Start()) << "cannot run Dovecot on " << dovecot.address() << ":995 (needs root)";
    ASSERT_TRUE(dovecot.AddUser("probe-tls-kim", "pw"));
    EXPECT_EQ(Check(dovecot, "probe-tls-kim", "pw", SslTls), NoMail) << result.StatusText;

    ASSERT_TRUE(dovecot.Stop());
    EXPECT_EQ(Check(dovecot, "probe-tls-kim", "pw", SslTls), Unknown) << result.StatusText;
    EXPECT_EQ(result.StatusText, kConnectFailedText);

    ASSERT_TRUE(dovecot.Start());
    ASSERT_TRUE(dovecot.AddUser("probe-tls-kim", "pw"));
    ASSERT_TRUE(dovecot.Deliver("probe-tls-kim", 1));
    EXPECT_EQ(Check(dovecot, "probe-tls-kim", "pw", SslTls), NewMail) << result.StatusText;
    EXPECT_EQ(result.StatusText, kNewMailText);
    EXPECT_EQ(dovecot.TlsLogins("probe-tls-kim"), 1) << dovecot.Log();  // in the fresh server's log
    EXPECT_TRUE(dovecot.Stop());
}

TEST_F(DovecotProbe, ImapOverSslTlsAndStartTlsIsNewMailOnlyWhileSomethingIsUnseenAndRejectsAWrongPasswordInsideTls)
{
    const DovecotServer dovecot = DovecotServer::Shared();
    for (const auto& [security, user] : {std::pair{SslTls, "imap-tls-lea"}, {StartTls, "imap-stls-max"}}) {
        SCOPED_TRACE(security == SslTls ? "SSL/TLS" : "STARTTLS");
        ASSERT_TRUE(dovecot.AddUser(user, "Secret3"));
        const auto check = [&](const char* password) { return Check(dovecot, user, password, security, Imap); };

        EXPECT_EQ(check("wrong"), Unknown) << result.StatusText;
        EXPECT_EQ(result.StatusText, kRejectedLoginText);
        EXPECT_EQ(check("Secret3"), NoMail) << result.StatusText;
        EXPECT_EQ(result.StatusText, kNoNewMailText);
        ASSERT_TRUE(dovecot.Deliver(user, 1));
        EXPECT_EQ(check("Secret3"), NewMail) << result.StatusText;
        EXPECT_EQ(result.StatusText, kNewMailText);
        // Read mail is no new mail, though the mailbox holds it.
        ASSERT_TRUE(dovecot.MarkSeen(user));
        EXPECT_EQ(check("Secret3"), NoMail) << result.StatusText;
        EXPECT_EQ(result.StatusText, kNoNewMailText);
        ASSERT_TRUE(dovecot.Deliver(user, 1));
        EXPECT_EQ(check("Secret3"), NewMail) << result.StatusText;
        EXPECT_EQ(result.StatusText, kNewMailText);

        EXPECT_EQ(dovecot.Logins(user), 4);
        EXPECT_EQ(dovecot.TlsLogins(user), 4) << dovecot.Log();
        EXPECT_EQ(Eventually([&] { return dovecot.TlsFailedLogins(user); }, 1), 1) << dovecot.Log();
        EXPECT_EQ(dovecot.FailedLogins(user), 1);
    }
}

TEST_F(DovecotProbe, PlainTextFailsWithoutSendingTheLoginWhereTheServerDisablesItButGoesOnAfterStartTls)
{
    // Not the shared instance: Dovecot counts a client on its own address as
    // secure, and never disables logins for it.
    const DovecotServer dovecot = DovecotServer::Spare();
    ASSERT_TRUE(dovecot.StartWithTlsLoginsOnly())
        << "cannot run Dovecot on " << dovecot.address() << ":143 (needs root)";
    ASSERT_TRUE(dovecot.AddUser("imap-nia", "pw"));
    ASSERT_TRUE(dovecot.Deliver("imap-nia", 1));

    for (const int32_t protocol : {Pop3, Imap}) {
        EXPECT_EQ(Check(dovecot, "imap-nia", "pw", NoSecurity, protocol), Unknown) << result.StatusText;
        EXPECT_STREQ(result.StatusText, "Server requires a secure connection!");
    }
    // The capabilities from before TLS no longer hold after it.
    EXPECT_EQ(Check(dovecot, "imap-nia", "pw", StartTls, Imap), NewMail) << result.StatusText;

    // Dovecot logs a LOGIN that it refused as a failed one (once that
    // connection has ended, which the check in TLS gave time to): only the
    // login inside TLS reached it.
    EXPECT_EQ(dovecot.FailedLogins("imap-nia"), 0) << dovecot.Log();
    EXPECT_EQ(dovecot.TlsLogins("imap-nia"), 1) << dovecot.Log();
    EXPECT_TRUE(dovecot.Stop());
}

TEST_F(DovecotProbe, ImapReadsAGreetingLongerThanAnyPop3Line)
{
    const DovecotServer dovecot = DovecotServer::Spare();
    ASSERT_TRUE(dovecot.StartWithLongGreeting())
        << "cannot run Dovecot on " << dovecot.address() << ":143 (needs root)";
    ASSERT_TRUE(dovecot.AddUser("imap-ole", "pw"));
    EXPECT_EQ(Check(dovecot, "imap-ole", "pw", NoSecurity, Imap), NoMail) << result.StatusText;
    EXPECT_TRUE(dovecot.Stop());
}

}  // namespace
