// A newcomer's whole way through both programs, in a Wine prefix of its own
// that nobody used before, driven from outside as the user would: the first
// start of the monitor opens the setup program, a Dovecot account is entered
// and saved, the monitor runs and starts the mail reader on mail, a second
// account is added while it runs, and Exit ends it. quillo.exe, kelvo.exe and
// the reader stand-in sit in one folder with this program.
#include "win/config_registry.h"

#include "dovecot_server.h"
#include "program_driver.h"
#include "standin_log.h"
#include "win_handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPatienceMs = 30000;

enum Control : int {
    HostField = 1000,
    UserField = 1001,
    PasswordField = 1002,
    ReaderField = 1004,
    ActionCombo = 1006,
    HostList = 1007,
    AddButton = 1008,
    SecurityCombo = 1016,
};

BOOL CALLBACK DescribeControl(HWND control, LPARAM data)
{
    char className[64] = "";
    GetClassNameA(control, className, sizeof className);
    *reinterpret_cast<std::string*>(data) += std::string("  control ") + std::to_string(GetDlgCtrlID(control)) + " " +
                                             className + " \"" + TextOf(control) + "\"\n";
    return TRUE;
}

BOOL CALLBACK DescribeWindow(HWND window, LPARAM data)
{
    char className[64] = "";
    char title[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    *reinterpret_cast<std::string*>(data) += std::string(IsWindowVisible(window) ? "visible " : "hidden ") + className +
                                             " \"" + title + "\" of process " + std::to_string(process) + "\n";
    if (lstrcmpA(className, "#32770") == 0)
        EnumChildWindows(window, DescribeControl, data);
    return TRUE;
}

// For a failure message: what the desktop shows.
std::string DescribeDesktop()
{
    std::string text = "top-level windows:\n";
    EnumWindows(DescribeWindow, reinterpret_cast<LPARAM>(&text));
    return text;
}

// The setup dialog once it shows (then it is filled and takes clicks).
HWND WaitForSetupDialog()
{
    HWND dialog = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : DesktopWindows("#32770", "Quillo Setup"))
                if (IsWindowVisible(window))
                    dialog = window;
            return dialog != nullptr;
        },
        kPatienceMs);
    return dialog;
}

// The reader sits in a short folder of the fresh prefix's drive C: the field
// takes at most 98 characters, and the build tree's own path may be longer.
const std::string kReaderFolder = "C:\\journey\\";

bool PlaceReader()
{
    CreateDirectoryA(kReaderFolder.c_str(), nullptr);
    return CopyFileA((TestProgramFolder() + "reader.exe").c_str(), (kReaderFolder + "reader.exe").c_str(), FALSE);
}

void Type(HWND dialog, int control, const std::string& text)
{
    SendMessageA(GetDlgItem(dialog, control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Choose(HWND dialog, int control, int entry)
{
    const HWND combo = GetDlgItem(dialog, control);
    SendMessageA(combo, CB_SETCURSEL, entry, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// What the user types into the editor for one mailbox: the server, "None"
// (the Dovecot of this journey speaks plain POP3 on port 110), the account,
// the reader (with the mailbox's name as its argument) and "Launch mail
// reader".
void EnterAccount(HWND dialog, const std::string& user, const std::string& password)
{
    Type(dialog, HostField, "127.0.0.1");
    Choose(dialog, SecurityCombo, 0);
    Type(dialog, UserField, user);
    Type(dialog, PasswordField, password);
    Type(dialog, ReaderField, kReaderFolder + "reader.exe " + user);
    Choose(dialog, ActionCombo, 2);
}

size_t StartsNaming(const std::vector<StandinStart>& starts, const std::string& user)
{
    size_t count = 0;
    for (const StandinStart& start : starts) {
        EXPECT_EQ(lstrcmpiA(start.program.c_str(), "reader.exe"), 0) << start.program;
        // The program reaches the reader in quotation marks.
        if (start.commandLine == '"' + kReaderFolder + "reader.exe\" " + user)
            ++count;
    }
    return count;
}

TEST(UserJourney, FirstRunSetupMonitorOnMailSecondAccountWhileRunningAndExit)
{
    DeleteConfigKey();
    const DovecotServer dovecot = DovecotServer::Shared();
    ASSERT_TRUE(dovecot.AddUser("journey-gus", "first-pw"));
    ASSERT_TRUE(dovecot.Deliver("journey-gus", 2));
    ASSERT_TRUE(dovecot.AddUser("journey-hal", "second-pw"));
    ASSERT_TRUE(dovecot.Deliver("journey-hal", 1));
    StandinLog standins;
    ASSERT_TRUE(PlaceReader());

    // No configuration: the monitor starts the setup program and gives up.
    {
        ProgramProcess firstStart(TestProgramFolder() + "quillo.exe");
        ASSERT_TRUE(firstStart.started());
        EXPECT_EQ(firstStart.ExitStatus(kPatienceMs), std::optional<DWORD>(1));
    }
    // A first start opens the setup dialog and the help at its getting-started
    // page, and no box.
    HWND dialog = WaitForSetupDialog();
    ASSERT_NE(dialog, nullptr) << "the setup program did not open; " << DescribeDesktop();
    const ProgramProcess setup(dialog);
    ASSERT_TRUE(WaitUntil(
        [] {
            for (HWND help : DesktopWindows(nullptr, "Quillo Help"))
                if (IsWindowVisible(help))
                    return true;
            return false;
        },
        kPatienceMs))
        << "no help on the first start; " << DescribeDesktop();
    for (HWND box : DesktopWindows("#32770", nullptr))
        EXPECT_TRUE(box == dialog || !IsWindowVisible(box)) << DescribeDesktop();
    EXPECT_EQ(ListEntries(GetDlgItem(dialog, HostList)), std::vector<std::string>{"New host"});
    EXPECT_TRUE(DesktopWindows("ZT-Quillo", "ZT-Quillo").empty());

    EnterAccount(dialog, "journey-gus", "first-pw");
    ClickButton(dialog, IDOK);
    EXPECT_EQ(setup.ExitStatus(kPatienceMs), std::optional<DWORD>(0));

    // The setup program started the monitor; on the mail it starts the reader
    // in the reader's own folder.
    HWND monitorWindow = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (monitorWindow = FindWindowA("ZT-Quillo", "ZT-Quillo")) != nullptr; }, kPatienceMs))
        << "the setup program did not start the monitor";
    const ProgramProcess monitor(monitorWindow);
    ASSERT_TRUE(monitor.started());
    std::vector<StandinStart> starts = standins.WaitForStarts(1, kPatienceMs);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(StartsNaming(starts, "journey-gus"), 1u);
    EXPECT_EQ(lstrcmpiA((starts[0].currentDirectory + "\\").c_str(), kReaderFolder.c_str()), 0)
        << starts[0].currentDirectory;
    EXPECT_GE(dovecot.Logins("journey-gus"), 1);
    EXPECT_EQ(dovecot.Logins("journey-hal"), 0);

    // The user opens the setup program again and adds the second mailbox.
    {
        ProgramProcess setupAgain(TestProgramFolder() + "kelvo.exe", "kelvo");
        ASSERT_TRUE(setupAgain.started());
        dialog = WaitForSetupDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(ListEntries(GetDlgItem(dialog, HostList)), std::vector<std::string>{"127.0.0.1"});
        ClickButton(dialog, AddButton);
        ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, HostField)) == "New host"; }, kPatienceMs));
        EnterAccount(dialog, "journey-hal", "second-pw");
        ClickButton(dialog, IDOK);
        EXPECT_EQ(setupAgain.ExitStatus(kPatienceMs), std::optional<DWORD>(0));
    }

    // The running monitor reloads and checks both: each host starts as not
    // yet tried, so the first host's mail is announced again too.
    starts = standins.WaitForStarts(3, kPatienceMs);
    EXPECT_EQ(starts.size(), 3u);
    EXPECT_EQ(StartsNaming(starts, "journey-gus"), 2u);
    EXPECT_EQ(StartsNaming(starts, "journey-hal"), 1u);
    EXPECT_GE(dovecot.Logins("journey-gus"), 2);
    EXPECT_GE(dovecot.Logins("journey-hal"), 1);
    // No second monitor came up.
    Sleep(1000);
    EXPECT_EQ(DesktopWindows("ZT-Quillo", "ZT-Quillo"), std::vector<HWND>{monitorWindow});
    EXPECT_TRUE(monitor.Running());

    PostMessageA(monitorWindow, WM_COMMAND, 2184, 0);
    EXPECT_EQ(monitor.ExitStatus(kPatienceMs), std::optional<DWORD>(0));
    EXPECT_TRUE(DesktopWindows("ZT-Quillo", "ZT-Quillo").empty());
    DeleteConfigKey();
}

}  // namespace
