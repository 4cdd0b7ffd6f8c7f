// quillo.exe under Wine with a mailbox that signs in with OAuth 2.0, against
// the rig's authorization server and the Dovecot that asks it about tokens:
// what the server's log and the authorization server's counters show of the
// monitor's tokens, and what the registry keeps of them.
#include "win/config_registry.h"

#include "control_messages.h"
#include "oauth_rig.h"
#include "password_protection.h"
#include "program_driver.h"
#include "standin_log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

namespace {

constexpr DWORD kPatienceMs = 20000;
constexpr char kUser[] = "monitor-olga@quillo.test";

class Monitor : public ProgramProcess {
public:
    Monitor() : ProgramProcess(TestProgramFolder() + "..\\system-bin\\quillo.exe") {}
};

class OAuthMonitor : public ::testing::Test {
protected:
    void SetUp() override { DeleteConfigKey(); }
    void TearDown() override { DeleteConfigKey(); }

    // An IMAPS mailbox at the rig, checked every second; new mail starts the
    // reader stand-in.
    HostConfig Host() const
    {
        HostConfig host = rig.Mailbox(kUser);
        host.MailReader = TestProgramFolder() + "reader.exe";
        host.Action = LaunchMailReader;
        host.Delay = 1;
        return host;
    }

    // As the setup program saves a host after a sign-in.
    void StoreSignedInHost(const std::string& refreshToken) const
    {
        HostConfig host = Host();
        host.RefreshToken = refreshToken;
        StoreHosts({host});
        StoreNewerValues(0, host);
    }

    std::optional<std::string> StoredRefreshToken() const
    {
        const std::optional<RawValue> blob = ReadRawValue("Host0OAuthTokenProtected");
        return blob ? UnprotectToken(blob->data, Host()) : std::nullopt;
    }

    int RefreshGrants() const { return rig.Counters().value_or(RigCounters{}).RefreshGrants; }
    int Logins() const { return rig.Dovecot().Logins(kUser); }

    const OAuthRig rig = OAuthRig::Shared();
    StandinLog standins;
};

TEST_F(OAuthMonitor, TokensAreRenewedBeforeTheyExpireRotatedIntoTheRegistryAndAnEndedSignInWaitsForASave)
{
    // Access tokens live 6 seconds, so the monitor renews each after 3.
    ASSERT_TRUE(rig.Configure("expires_in", 6));
    const std::optional<TokenPair> first = rig.IssueTokens(kUser);
    ASSERT_TRUE(first && !first->RefreshToken.empty());
    StoreSignedInHost(first->RefreshToken);

    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    const HWND window = monitor.WaitForWindow(kMonitorWindowName, kMonitorWindowName);
    ASSERT_NE(window, nullptr);

    // The first check traded the stored refresh token for an access token
    // and kept the provider's new refresh token in the registry.
    ASSERT_TRUE(WaitUntil([&] { return Logins() >= 1; }, kPatienceMs)) << rig.Dovecot().Log() << rig.ServerLog();
    ASSERT_TRUE(WaitUntil([&] { return StoredRefreshToken() == rig.Counters()->LastRefreshToken; }, kPatienceMs));
    EXPECT_NE(StoredRefreshToken(), first->RefreshToken);

    // Every token was renewed before the server could refuse it: checks
    // each second, a new token every three, no failed login.
    ASSERT_TRUE(WaitUntil([&] { return RefreshGrants() >= 3; }, kPatienceMs));
    EXPECT_GE(Logins(), 5);
    EXPECT_EQ(rig.Dovecot().LinesWith({"auth failed", kUser}), 0) << rig.Dovecot().Log();

    // A token that the provider ends early is refused: the monitor answers
    // the server's challenge, renews it and logs in again at once.
    int logins = Logins();
    ASSERT_TRUE(rig.ExpireAccessTokens());
    ASSERT_TRUE(WaitUntil([&] { return Logins() >= logins + 2; }, kPatienceMs));
    EXPECT_EQ(rig.Dovecot().LinesWith({"didn't finish SASL auth"}), 0) << rig.Dovecot().Log();

    // New mail is announced as for any other mailbox.
    ASSERT_TRUE(rig.Dovecot().Deliver(kUser, 1));
    EXPECT_EQ(standins.WaitForStarts(1, kPatienceMs).size(), 1u);

    // Revoked: the renewal is refused with invalid_grant, and the host is
    // left alone from then on.
    ASSERT_TRUE(rig.RevokeRefreshTokensOf(kUser));
    ASSERT_TRUE(rig.ExpireAccessTokens());
    const int grants = RefreshGrants();
    ASSERT_TRUE(WaitUntil([&] { return rig.ServerLog().find("invalid_grant") != std::string::npos; }, kPatienceMs))
        << rig.ServerLog();
    Sleep(1500);
    logins = Logins();
    const int failures = rig.Dovecot().LinesWith({"auth failed", kUser});
    Sleep(4000);
    EXPECT_EQ(Logins(), logins);
    EXPECT_EQ(rig.Dovecot().LinesWith({"auth failed", kUser}), failures);
    EXPECT_EQ(RefreshGrants(), grants);

    // A new sign-in saved by the setup program starts the checks again.
    const std::optional<TokenPair> second = rig.IssueTokens(kUser);
    ASSERT_TRUE(second.has_value());
    StoreSignedInHost(second->RefreshToken);
    ASSERT_TRUE(PostMessageA(window, UM_NEWCONFIG, 0, 0));
    EXPECT_TRUE(WaitUntil([&] { return Logins() > logins; }, kPatienceMs)) << rig.Dovecot().Log();

    // Every login came over TLS; no token went over plain text.
    EXPECT_EQ(rig.Dovecot().TlsLogins(kUser), Logins());
    EXPECT_GE(rig.Dovecot().LinesWith({"method=XOAUTH2", kUser}), 1);
    PostMessageA(window, WM_COMMAND, 2184, 0);
    EXPECT_EQ(monitor.ExitStatus(10000), std::optional<DWORD>(0));
    ASSERT_TRUE(rig.Configure("expires_in", 3600));
}

}  // namespace
