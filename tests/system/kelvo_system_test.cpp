// kelvo.exe as a user meets it: started as a process of its own under Wine
// and driven from outside with window messages, the way a person's clicks
// and the monitor's window would reach it.
#include "win/config_registry.h"
#include "config_store.h"
#include "control_messages.h"
#include "program_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kPatienceMs = 20000;

class SetupProcess : public ProgramProcess {
public:
    SetupProcess() : ProgramProcess(KELVO_EXE, "kelvo") {}

    HWND Dialog() const { return WaitForShownWindow("#32770", "Quillo Setup", kPatienceMs); }
    std::optional<DWORD> WaitForExit() const { return ExitStatus(kPatienceMs); }
};

class KelvoProgram : public ::testing::Test {
protected:
    void SetUp() override { DeleteConfigKey(); }
    void TearDown() override { DeleteConfigKey(); }
};

TEST_F(KelvoProgram, OpensWithTheStoredHostsAndSaveWritesThemAndTellsTheMonitor)
{
    StoreHosts({SampleHost(1), SampleHost(2)});
    HWND monitor = CreateWindowExA(0, "STATIC", kMonitorWindowName, 0, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(monitor, nullptr);

    SetupProcess setup;
    ASSERT_TRUE(setup.started()) << KELVO_EXE;
    HWND dialog = setup.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ListEntries(GetDlgItem(dialog, 1007)),
              (std::vector<std::string>{"pop1.example.org", "pop2.example.org"}));
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 1007), LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(TextOf(GetDlgItem(dialog, 1000)), "pop1.example.org");
    EXPECT_EQ(TextOf(GetDlgItem(dialog, 1005)), "60");
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 1006), CB_GETCURSEL, 0, 0), 1);

    SendMessageA(GetDlgItem(dialog, 1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("edited.example.org"));
    ClickButton(dialog, IDOK);
    EXPECT_EQ(setup.WaitForExit(), 0u);

    EXPECT_EQ(ReadRawValue("Host0Name")->data, std::string("edited.example.org") + '\0');
    EXPECT_EQ(ReadRawValue("Host1Name")->data, std::string("pop2.example.org") + '\0');
    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string("\x02\0\0\0", 4));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, monitor, 0x0400, 0x7FFF, PM_REMOVE));
    EXPECT_EQ(message.message, UM_NEWCONFIG);
    DestroyWindow(monitor);
}

TEST_F(KelvoProgram, ASecondStartBringsTheOpenDialogToTheFrontAndEnds)
{
    StoreHosts({SampleHost(1)});
    SetupProcess first;
    ASSERT_TRUE(first.started()) << KELVO_EXE;
    const HWND dialog = first.Dialog();
    ASSERT_NE(dialog, nullptr);
    // The user went on in another program. (Not minimised: Wine minimises a
    // window that no window manager handles only now and then.)
    const HWND elsewhere = CreateWindowExA(0, "STATIC", "elsewhere", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 100,
                                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(elsewhere, nullptr);
    SetForegroundWindow(elsewhere);
    ASSERT_EQ(GetForegroundWindow(), elsewhere);

    SetupProcess second;
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.WaitForExit(), 0u);
    EXPECT_EQ(GetForegroundWindow(), dialog);
    EXPECT_EQ(DesktopWindows("#32770", "Quillo Setup"), std::vector<HWND>{dialog});
    DestroyWindow(elsewhere);

    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(first.WaitForExit(), 0u);
}

TEST_F(KelvoProgram, TheCloseBoxAfterAnAddAsksAndNoLeavesTheRegistryAsItWas)
{
    StoreHosts({SampleHost(1)});
    SetupProcess setup;
    ASSERT_TRUE(setup.started()) << KELVO_EXE;
    HWND dialog = setup.Dialog();
    ASSERT_NE(dialog, nullptr);
    ClickButton(dialog, 1008);
    WaitUntil([&] { return SendMessageA(GetDlgItem(dialog, 1007), LB_GETCOUNT, 0, 0) == 2; }, kPatienceMs);
    EXPECT_EQ(ListEntries(GetDlgItem(dialog, 1007)), (std::vector<std::string>{"pop1.example.org", "New host"}));

    PostMessageA(dialog, WM_CLOSE, 0, 0);
    // The program's own boxes carry its file name.
    HWND box = setup.WaitForBox(kPatienceMs);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), "kelvo");
    EXPECT_EQ(BoxText(box), "Do you want to save your changes?");
    EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
    ASSERT_NE(GetDlgItem(box, IDNO), nullptr);
    ClickButton(box, IDNO);
    EXPECT_EQ(setup.WaitForExit(), 0u);

    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string("\x01\0\0\0", 4));
    EXPECT_FALSE(ReadRawValue("Host1Name"));
}

}  // namespace
