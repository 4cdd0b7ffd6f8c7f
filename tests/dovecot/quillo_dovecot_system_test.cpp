// quillo.exe under Wine against a real Dovecot, seen from outside: the mail
// reader that a host's new mail starts (a stand-in that logs its start), and
// Dovecot's log of the checks it was asked for.
#include "win/config_registry.h"

#include "dovecot_server.h"
#include "program_driver.h"
#include "standin_log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

namespace {

constexpr DWORD kPatienceMs = 15000;

class Monitor : public ProgramProcess {
public:
    Monitor() : ProgramProcess(TestProgramFolder() + "..\\system-bin\\quillo.exe") {}
};

class QuilloAgainstDovecot : public ::testing::Test {
protected:
    void SetUp() override { DeleteConfigKey(); }
    void TearDown() override { DeleteConfigKey(); }

    // Checked every second; new mail starts the reader stand-in with the
    // mailbox's name as its argument.
    static HostConfig ReaderHost(const DovecotServer& server, const std::string& user, const std::string& password)
    {
        HostConfig host;
        host.Name = server.address();
        host.UserID = user;
        host.Password = password;
        host.MailReader = TestProgramFolder() + "reader.exe " + user;
        host.Action = LaunchMailReader;
        host.Delay = 1;
        return host;
    }

    // The reader starts so far that name the mailbox.
    size_t ReaderStartsFor(const std::string& user, size_t atLeast = 0) const
    {
        size_t count = 0;
        for (const StandinStart& start : standins.WaitForStarts(atLeast, atLeast == 0 ? 0 : kPatienceMs)) {
            EXPECT_EQ(lstrcmpiA(start.program.c_str(), "reader.exe"), 0) << start.program;
            if (start.commandLine.size() > user.size() &&
                start.commandLine.compare(start.commandLine.size() - user.size() - 1, std::string::npos, " " + user) ==
                    0)
                ++count;
        }
        return count;
    }

    static void EndMonitor(Monitor& monitor)
    {
        const HWND window = monitor.FindWindowOf("ZT-Quillo", "ZT-Quillo");
        ASSERT_NE(window, nullptr);
        PostMessageA(window, WM_COMMAND, 2184, 0);
        EXPECT_EQ(monitor.ExitStatus(10000), std::optional<DWORD>(0));
    }

    StandinLog standins;
};

TEST_F(QuilloAgainstDovecot, NewMailStartsTheReaderAgainEachTimeTheMailboxFillsAndARejectedLoginNever)
{
    const DovecotServer dovecot = DovecotServer::Shared();
    ASSERT_TRUE(dovecot.AddUser("monitor-dana", "good"));
    ASSERT_TRUE(dovecot.AddUser("monitor-erin", "right"));
    ASSERT_TRUE(dovecot.Deliver("monitor-erin", 2));
    StoreHosts({ReaderHost(dovecot, "monitor-dana", "good"), ReaderHost(dovecot, "monitor-erin", "wrong")});

    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    ASSERT_NE(monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo"), nullptr);
    // Two checks of the empty mailbox, and the other host's password refused.
    ASSERT_TRUE(WaitUntil([&] { return dovecot.Logins("monitor-dana") >= 2; }, kPatienceMs)) << dovecot.Log();
    ASSERT_TRUE(WaitUntil([&] { return dovecot.FailedLogins("monitor-erin") >= 1; }, kPatienceMs)) << dovecot.Log();
    EXPECT_TRUE(standins.WaitForStarts(0, 0).empty());

    ASSERT_TRUE(dovecot.Deliver("monitor-dana", 2));
    EXPECT_EQ(ReaderStartsFor("monitor-dana", 1), 1u);

    // Still new mail at the next checks: no second start.
    int logins = dovecot.Logins("monitor-dana");
    ASSERT_TRUE(WaitUntil([&] { return dovecot.Logins("monitor-dana") >= logins + 2; }, kPatienceMs));
    EXPECT_EQ(ReaderStartsFor("monitor-dana"), 1u);

    // Emptied, seen empty (a check that was under way may still have seen
    // mail, hence two), and filled again: announced again.
    ASSERT_TRUE(dovecot.Empty("monitor-dana"));
    logins = dovecot.Logins("monitor-dana");
    ASSERT_TRUE(WaitUntil([&] { return dovecot.Logins("monitor-dana") >= logins + 2; }, kPatienceMs));
    EXPECT_EQ(ReaderStartsFor("monitor-dana"), 1u);
    ASSERT_TRUE(dovecot.Deliver("monitor-dana", 1));
    EXPECT_EQ(ReaderStartsFor("monitor-dana", 2), 2u);

    // The refused host was tried at every check and never counted as mail.
    EXPECT_GE(dovecot.FailedLogins("monitor-erin"), 3);
    EXPECT_EQ(dovecot.Logins("monitor-erin"), 0);
    EXPECT_EQ(ReaderStartsFor("monitor-erin"), 0u);
    EndMonitor(monitor);
}

TEST_F(QuilloAgainstDovecot, SslTlsMailboxesOverPop3AndImapAreCheckedInsideTlsAndEachStartsTheReaderByItsOwnRule)
{
    const DovecotServer dovecot = DovecotServer::Shared();
    ASSERT_TRUE(dovecot.AddUser("monitor-tls-gwen", "tls-pw"));
    // Over IMAP a message read already is no new mail, where POP3 would see mail.
    ASSERT_TRUE(dovecot.AddUser("monitor-imap-hal", "imap-pw"));
    ASSERT_TRUE(dovecot.Deliver("monitor-imap-hal", 1));
    ASSERT_TRUE(dovecot.MarkSeen("monitor-imap-hal"));
    StoreHosts({ReaderHost(dovecot, "monitor-tls-gwen", "tls-pw"), ReaderHost(dovecot, "monitor-imap-hal", "imap-pw")});
    // As the setup program stores SSL/TLS with the default port (995, or 993
    // for IMAP).
    for (const char* host : {"Host0", "Host1"}) {
        WriteDwordValue(std::string(host) + "Security", SslTls);
        WriteDwordValue(std::string(host) + "Port", 0);
    }
    WriteDwordValue("Host1Protocol", Imap);

    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    ASSERT_NE(monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo"), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return dovecot.Logins("monitor-tls-gwen") >= 1; }, kPatienceMs)) << dovecot.Log();
    ASSERT_TRUE(WaitUntil([&] { return dovecot.Logins("monitor-imap-hal") >= 1; }, kPatienceMs)) << dovecot.Log();
    EXPECT_TRUE(standins.WaitForStarts(0, 0).empty());

    ASSERT_TRUE(dovecot.Deliver("monitor-tls-gwen", 1));
    EXPECT_EQ(ReaderStartsFor("monitor-tls-gwen", 1), 1u);
    ASSERT_TRUE(dovecot.Deliver("monitor-imap-hal", 1));
    EXPECT_EQ(ReaderStartsFor("monitor-imap-hal", 2), 1u);
    // Still unseen at the next checks: no second start.
    const int logins = dovecot.Logins("monitor-imap-hal");
    ASSERT_TRUE(WaitUntil([&] { return dovecot.Logins("monitor-imap-hal") >= logins + 2; }, kPatienceMs));
    EXPECT_EQ(ReaderStartsFor("monitor-imap-hal"), 1u);
    EndMonitor(monitor);
    // Every check went through TLS, none in plain text.
    for (const char* user : {"monitor-tls-gwen", "monitor-imap-hal"}) {
        EXPECT_GE(dovecot.Logins(user), 2) << user;
        EXPECT_EQ(dovecot.TlsLogins(user), dovecot.Logins(user)) << dovecot.Log();
    }
}

TEST_F(QuilloAgainstDovecot, MailThatWaitsThroughAServerOutageIsAnnouncedAgainOnceTheServerIsBack)
{
    // A server of this test's own, so that stopping it disturbs no other test.
    const DovecotServer dovecot = DovecotServer::Spare();
    ASSERT_TRUE(dovecot.Start()) << "cannot run Dovecot on " << dovecot.address() << ":110 (needs root)";
    ASSERT_TRUE(dovecot.AddUser("monitor-fay", "pw"));
    ASSERT_TRUE(dovecot.Deliver("monitor-fay", 1));
    StoreHosts({ReaderHost(dovecot, "monitor-fay", "pw")});

    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    ASSERT_NE(monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo"), nullptr);
    ASSERT_EQ(ReaderStartsFor("monitor-fay", 1), 1u);

    // While the server is down each check fails to connect, and the host
    // leaves new mail; nothing is started meanwhile.
    ASSERT_TRUE(dovecot.Stop());
    Sleep(3000);
    EXPECT_EQ(ReaderStartsFor("monitor-fay"), 1u);

    ASSERT_TRUE(dovecot.Start());
    ASSERT_TRUE(dovecot.AddUser("monitor-fay", "pw"));
    ASSERT_TRUE(dovecot.Deliver("monitor-fay", 1));
    EXPECT_EQ(ReaderStartsFor("monitor-fay", 2), 2u);
    EXPECT_GE(dovecot.Logins("monitor-fay"), 1);  // in the fresh server's log

    EndMonitor(monitor);
    EXPECT_TRUE(dovecot.Stop());
}

}  // namespace
