// The probe, as the monitor's check thread runs it (Winsock 1.1, port 110),
// against a real Dovecot: the states and status texts that the tray icon and
// the menu show come from here. Dovecot's log shows what it saw of each check.

#include <winsock.h>

#include "dovecot_server.h"
#include "pop3_probe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class DovecotProbe : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(0x0101, &data), 0);
        // A real server answers within milliseconds; a hang fails the test sooner.
        settings.BoundMs = 5000;
    }
    void TearDown() override { WSACleanup(); }

    // One check of the user's mailbox, as the check thread runs it.
    int32_t Check(const DovecotServer& server, const std::string& user, const std::string& password)
    {
        host.Name = server.address();
        host.UserID = user;
        host.Password = password;
        return GuessState(host, settings);
    }

    ProbeSettings settings;
    HostEntry host;
};

TEST_F(DovecotProbe, AMailboxIsNoNewMailWhileEmptyAndNewMailWhileItHoldsMessagesEachTimeItIsRefilled)
{
    const DovecotServer dovecot = DovecotServer::Shared();
    ASSERT_TRUE(dovecot.AddUser("probe-alice", "Secret1"));

    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NoMail);
    EXPECT_EQ(host.StatusText.load(), kNoNewMailText);

    ASSERT_TRUE(dovecot.Deliver("probe-alice", 3));
    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NewMail);
    EXPECT_EQ(host.StatusText.load(), kNewMailText);
    // The check only counts: the messages stay, and the next check sees them again.
    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NewMail);

    ASSERT_TRUE(dovecot.Empty("probe-alice"));
    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NoMail);
    EXPECT_EQ(host.StatusText.load(), kNoNewMailText);
    ASSERT_TRUE(dovecot.Deliver("probe-alice", 1));
    EXPECT_EQ(Check(dovecot, "probe-alice", "Secret1"), NewMail);

    // Five logins, each ended with QUIT and nothing deleted.
    EXPECT_EQ(dovecot.Logins("probe-alice"), 5);
    const std::string log = dovecot.Log();
    EXPECT_NE(log.find("pop3(probe-alice)"), std::string::npos) << log;
    EXPECT_EQ(log.find("del=1"), std::string::npos) << log;
}

TEST_F(DovecotProbe, AWrongPasswordAndAnUnknownUserAreBothRejectedAtPass)
{
    const DovecotServer dovecot = DovecotServer::Shared();
    ASSERT_TRUE(dovecot.AddUser("probe-bob", "right"));
    ASSERT_TRUE(dovecot.Deliver("probe-bob", 1));

    EXPECT_EQ(Check(dovecot, "probe-bob", "wrong"), Unknown);
    EXPECT_EQ(host.StatusText.load(), kRejectedPassText);
    EXPECT_EQ(Check(dovecot, "probe-nobody", "right"), Unknown);
    EXPECT_EQ(host.StatusText.load(), kRejectedPassText);
    // Failures are answered at once (no failure delay), and a good login
    // right after them is not held back.
    const DWORD before = GetTickCount();
    EXPECT_EQ(Check(dovecot, "probe-bob", "right"), NewMail);
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
    EXPECT_EQ(Check(dovecot, "probe-carol", "pw"), NoMail);

    ASSERT_TRUE(dovecot.Stop());
    EXPECT_EQ(Check(dovecot, "probe-carol", "pw"), Unknown);
    EXPECT_EQ(host.StatusText.load(), kConnectFailedText);

    // A fresh start forgets users and mail.
    ASSERT_TRUE(dovecot.Start());
    ASSERT_TRUE(dovecot.AddUser("probe-carol", "pw"));
    ASSERT_TRUE(dovecot.Deliver("probe-carol", 2));
    EXPECT_EQ(Check(dovecot, "probe-carol", "pw"), NewMail);
    EXPECT_EQ(host.StatusText.load(), kNewMailText);
    EXPECT_TRUE(dovecot.Stop());
}

} // namespace
