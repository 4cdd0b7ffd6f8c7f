// kelvo.exe under Wine signing a mailbox in at the rig's authorization
// server through the stand-in browser that Wine starts for the sign-in
// address, driven from outside as a user would: what the dialog says, what
// the provider was asked for, and what Save leaves in the registry.
#include "win/config_registry.h"

#include "control_messages.h"
#include "oauth_rig.h"
#include "password_protection.h"
#include "program_driver.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

namespace {

constexpr DWORD kPatienceMs = 20000;
constexpr char kUser[] = "setup-sina@quillo.test";
constexpr int kSignInButton = 1022;
constexpr int kSignInStatus = 1021;

class SetupProcess : public ProgramProcess {
public:
    SetupProcess() : ProgramProcess(KELVO_EXE, "kelvo") {}

    HWND Dialog() const { return WaitForShownWindow("#32770", "Quillo Setup", kPatienceMs); }
};

class SetupSignIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteConfigKey();
        ASSERT_TRUE(rig.InstallBrowser());
        // A sign-in that the browser never finishes ends well within the test.
        SetEnvironmentVariableA("QUILLO_SIGN_IN_LIMIT_SECONDS", "20");
    }
    void TearDown() override
    {
        rig.UninstallBrowser();
        DeleteConfigKey();
    }

    // An IMAPS mailbox at the rig that nobody has signed in to yet.
    HostConfig Host() const { return rig.Mailbox(kUser); }
    void StoreHost() const
    {
        StoreHosts({Host()});
        StoreNewerValues(0, Host());
    }

    int CodeGrants() const { return rig.Counters().value_or(RigCounters{}).CodeGrants; }

    // Presses "Sign in…" with the browser set to `mode`; the box that
    // follows, its text, and the box answered.
    std::string FailedSignIn(const SetupProcess& setup, HWND dialog, const std::string& mode) const
    {
        EXPECT_TRUE(rig.SetBrowserMode(mode));
        ClickButton(dialog, kSignInButton);
        const HWND box = setup.WaitForBox(kPatienceMs);
        if (box == nullptr)
            return "no box; browser: " + rig.BrowserLog();
        const std::string text = BoxText(box);
        ClickButton(box, IDOK);
        return text;
    }

    const OAuthRig rig = OAuthRig::Shared();
};

TEST_F(SetupSignIn, ADeclinedOrForeignReturnSavesNothingAndASignInInTheBrowserSavesItsRefreshToken)
{
    StoreHost();
    // A monitor that is running: Save tells it instead of starting one.
    const HWND monitor = CreateWindowExA(0, "STATIC", kMonitorWindowName, 0, 0, 0, 0, 0, nullptr, nullptr,
                                         GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(monitor, nullptr);
    SetupProcess setup;
    ASSERT_TRUE(setup.started());
    const HWND dialog = setup.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(dialog, kSignInStatus)), "Not signed in yet.");
    const int codeGrants = CodeGrants();

    EXPECT_EQ(FailedSignIn(setup, dialog, "deny").rfind("The sign-in was declined in the browser.", 0), 0u);
    // The browser returns with a code meant for another sign-in: never traded.
    EXPECT_EQ(FailedSignIn(setup, dialog, std::string("wrong-state ") + kUser)
                  .rfind("The browser returned an answer that does not belong to this sign-in", 0),
              0u);
    EXPECT_EQ(CodeGrants(), codeGrants);
    EXPECT_EQ(TextOf(GetDlgItem(dialog, kSignInStatus)), "Not signed in yet.");

    ASSERT_TRUE(rig.SetBrowserMode(std::string("approve ") + kUser));
    ClickButton(dialog, kSignInButton);
    ASSERT_TRUE(WaitUntil(
        [&] { return TextOf(GetDlgItem(dialog, kSignInStatus)) == "Signed in as " + std::string(kUser) + "."; },
        kPatienceMs))
        << TextOf(GetDlgItem(dialog, kSignInStatus)) << "\n"
        << rig.BrowserLog() << rig.ServerLog();
    EXPECT_EQ(CodeGrants(), codeGrants + 1);
    EXPECT_FALSE(ReadRawValue("Host0OAuthTokenProtected").has_value());  // not before Save

    ClickButton(dialog, IDOK);
    EXPECT_EQ(setup.ExitStatus(kPatienceMs), std::optional<DWORD>(0));
    const std::optional<RawValue> blob = ReadRawValue("Host0OAuthTokenProtected");
    ASSERT_TRUE(blob.has_value());
    EXPECT_EQ(UnprotectToken(blob->data, Host()), rig.Counters()->LastRefreshToken);
    // No password: only the empty one that older versions expect to find.
    EXPECT_FALSE(ReadRawValue("Host0PasswordProtected").has_value());
    EXPECT_EQ(ReadRawValue("Host0Password")->data, std::string(1, '\0'));
    DestroyWindow(monitor);
}

}  // namespace
