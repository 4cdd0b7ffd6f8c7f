// quillo.exe itself under Wine, driven from outside as the user, the setup
// program and the desktop would: started with a prepared registry, found by
// its window title, told to exit, and its message boxes read and answered.
#include "win/config_registry.h"

#include "pop3_script_server.h"
#include "program_driver.h"
#include "standin_log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

namespace {

// Beside the test programs: quillo.exe and the stand-in for the setup program
// that it starts by its bare name.
class Monitor : public ProgramProcess {
public:
    Monitor() : ProgramProcess(TestProgramFolder() + "..\\system-bin\\quillo.exe") {}
};

class QuilloProgram : public ::testing::Test {
protected:
    void SetUp() override { DeleteConfigKey(); }
    void TearDown() override { DeleteConfigKey(); }

    // One host that nobody serves and that is not due for weeks, so that no
    // check runs while a test drives the window.
    static HostConfig QuietHost()
    {
        HostConfig host = SampleHost(0);
        host.Name = "127.0.0.31";
        host.Delay = 2147483;
        host.Action = 0;
        return host;
    }

    // Runs a monitor that must give up at start: the exit status, with the
    // check that it never showed its window.
    std::optional<DWORD> RunToEndWithoutWindow()
    {
        Monitor monitor;
        EXPECT_TRUE(monitor.started());
        const DWORD start = GetTickCount();
        while (monitor.Running() && GetTickCount() - start < 10000) {
            EXPECT_EQ(monitor.FindWindowOf("ZT-Quillo", "ZT-Quillo"), nullptr);
            Sleep(10);
        }
        return monitor.ExitStatus(0);
    }

    StandinLog standins;
};

TEST_F(QuilloProgram, RunsWithItsWindowUntilExitIsChosenAndThenEndsWithStatus0)
{
    StoreHosts({QuietHost()});
    const int iconsBefore = TrayIcons();
    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    const HWND window = monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo");
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    // The setup program finds it the same way.
    EXPECT_EQ(FindWindowA(nullptr, "ZT-Quillo"), window);
    EXPECT_TRUE(WaitForTrayIcons(iconsBefore + 1)) << kNoTrayWindow;

    PostMessageA(window, WM_COMMAND, 2184, 0);
    EXPECT_EQ(monitor.ExitStatus(10000), std::optional<DWORD>(0));
    EXPECT_FALSE(IsWindow(window));
    // Wine drops the icon of a vanished window by itself only a while later.
    EXPECT_EQ(TrayIcons(), iconsBefore);
    EXPECT_TRUE(standins.WaitForStarts(0, 0).empty());
}

TEST_F(QuilloProgram, ASecondStartEndsAtOnceWithStatus0AndTheFirstRunsOn)
{
    StoreHosts({QuietHost()});
    const int iconsBefore = TrayIcons();
    Monitor first;
    ASSERT_TRUE(first.started());
    const HWND window = first.WaitForWindow("ZT-Quillo", "ZT-Quillo");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitForTrayIcons(iconsBefore + 1)) << kNoTrayWindow;

    Monitor second;
    ASSERT_TRUE(second.started());
    // A box would hold it until somebody answered.
    EXPECT_EQ(second.ExitStatus(5000), std::optional<DWORD>(0));
    EXPECT_EQ(DesktopWindows("ZT-Quillo", "ZT-Quillo"), std::vector<HWND>{window});
    EXPECT_EQ(TrayIcons(), iconsBefore + 1);
    EXPECT_TRUE(first.Running());

    PostMessageA(window, WM_COMMAND, 2184, 0);
    EXPECT_EQ(first.ExitStatus(10000), std::optional<DWORD>(0));
}

TEST_F(QuilloProgram, ExitDuringTheChecksEndsWithStatus0AtOnceEveryTime)
{
    // Checked at every tick by a server that accepts and never answers: each
    // check would wait out its 30-second bound unless the exit woke it.
    constexpr int kRuns = 6;
    Pop3ScriptServer silent(std::vector<Script>(kRuns, Script{}), "127.0.0.32", 110);
    if (!silent.listening())
        GTEST_SKIP() << "cannot listen on port 110 (needs root)";
    HostConfig host = QuietHost();
    host.Name = "127.0.0.32";
    host.Delay = 0;
    StoreHosts({host});

    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run);
        const size_t connectionsBefore = silent.connections();
        Monitor monitor;
        ASSERT_TRUE(monitor.started());
        const HWND window = monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo");
        ASSERT_NE(window, nullptr);
        // Odd runs leave inside a check, even ones during the first sleep.
        if (run % 2 == 1) {
            ASSERT_TRUE(WaitUntil([&] { return silent.connections() > connectionsBefore; }, 5000));
            Sleep(static_cast<DWORD>(run * 10));
        }
        PostMessageA(window, WM_COMMAND, 2184, 0);
        const DWORD exitChosen = GetTickCount();
        EXPECT_EQ(monitor.ExitStatus(10000), std::optional<DWORD>(0));
        EXPECT_LT(GetTickCount() - exitChosen, 3000u);
    }
}

TEST_F(QuilloProgram, AReloadThatFindsAValueMissingRemovesTheIconBeforeItEnds)
{
    StoreHosts({QuietHost()});
    const int iconsBefore = TrayIcons();
    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    const HWND window = monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitForTrayIcons(iconsBefore + 1)) << kNoTrayWindow;

    DeleteValue("Host0Delay");
    // What the setup program posts after a save; the check thread takes it
    // at its next tick and the main thread reloads.
    PostMessageA(window, 0x0400 + 15, 0, 0);
    const HWND box = monitor.WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(BoxText(box), "Missing registry key: Host0Delay");
    ClickButton(box, IDOK);
    EXPECT_EQ(monitor.ExitStatus(10000), std::optional<DWORD>(1));
    EXPECT_EQ(TrayIcons(), iconsBefore);
}

TEST_F(QuilloProgram, WithoutAConfigurationItStartsTheSetupProgramAndEndsWithStatus1)
{
    EXPECT_EQ(RunToEndWithoutWindow(), std::optional<DWORD>(1));
    WriteDwordValue("HostCount", 0);
    EXPECT_EQ(RunToEndWithoutWindow(), std::optional<DWORD>(1));

    const std::vector<StandinStart> starts = standins.WaitForStarts(2);
    ASSERT_EQ(starts.size(), 2u);
    for (const StandinStart& start : starts) {
        EXPECT_EQ(lstrcmpiA(start.program.c_str(), "kelvo.exe"), 0) << start.program;
        EXPECT_EQ(start.commandLine, "Kelvo");
    }
}

TEST_F(QuilloProgram, AMissingHostValueIsShownAndEndsWithStatus1)
{
    StoreHosts({QuietHost()});
    DeleteValue("Host0Delay");
    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    const HWND box = monitor.WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), "Quillo");
    EXPECT_EQ(BoxText(box), "Missing registry key: Host0Delay");
    EXPECT_EQ(monitor.FindWindowOf("ZT-Quillo", "ZT-Quillo"), nullptr);

    ClickButton(box, IDOK);
    EXPECT_EQ(monitor.ExitStatus(10000), std::optional<DWORD>(1));
    EXPECT_TRUE(standins.WaitForStarts(0, 0).empty());
}

}  // namespace
