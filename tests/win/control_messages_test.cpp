// Finding the monitor's window and starting one program from the other.
#include "control_messages.h"
#include "monitor_config.h"
#include "platform_recorder.h"
#include "setup_config.h"
#include "standin_log.h"

#include <gtest/gtest.h>

namespace {

// A top-level window of this test with a given title, standing in for a
// running monitor.
class TitledWindow {
public:
    explicit TitledWindow(const char* title)
    {
        window_ =
            CreateWindowExA(0, "STATIC", title, 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~TitledWindow() { DestroyWindow(window_); }
    HWND get() const { return window_; }

    // The private messages posted to the window so far.
    std::vector<MSG> PostedMessages() const
    {
        std::vector<MSG> posted;
        MSG message;
        while (PeekMessageA(&message, window_, 0x0400, 0x7FFF, PM_REMOVE))
            posted.push_back(message);
        return posted;
    }

private:
    HWND window_;
};

TEST(FindMonitor, PostsNewConfigOnceToAWindowTitledInAnyLetterCase)
{
    TitledWindow monitor("zt-QUILLO");
    TitledWindow other("ZT-Quillo and more");
    ASSERT_NE(monitor.get(), nullptr);
    EXPECT_TRUE(FindMonitor());
    const std::vector<MSG> posted = monitor.PostedMessages();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message, 1039u);
    EXPECT_EQ(posted[0].wParam, 0u);
    EXPECT_EQ(posted[0].lParam, 0);
    EXPECT_TRUE(other.PostedMessages().empty());
}

TEST(FindMonitor, TellsOnlyTheFirstOfTwoMonitors)
{
    TitledWindow first("ZT-Quillo");
    TitledWindow second("ZT-Quillo");
    EXPECT_TRUE(FindMonitor());
    EXPECT_EQ(first.PostedMessages().size() + second.PostedMessages().size(), 1u);
}

TEST(FindMonitor, ReportsFalseWhenNoMonitorRuns)
{
    TitledWindow other("Quillo Setup");
    EXPECT_FALSE(FindMonitor());
    EXPECT_TRUE(other.PostedMessages().empty());
}

TEST(ProgramStart, EachProgramStartsTheOtherFoundBesideItself)
{
    StandinLog log;
    LaunchMonitor();
    LaunchSetup();
    const std::vector<StandinStart> starts = log.WaitForStarts(2);
    ASSERT_EQ(starts.size(), 2u);
    std::vector<std::string> started{starts[0].program + " " + starts[0].commandLine,
                                     starts[1].program + " " + starts[1].commandLine};
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, (std::vector<std::string>{"kelvo.exe Kelvo", "quillo.exe quillo"}));
}

TEST(ProgramStart, StartsDetachedWithoutPassingHandlesInTheCallersFolder)
{
    PlatformRecorder platform;
    LaunchMonitor();
    LaunchSetup();
    ASSERT_EQ(platform.processes.size(), 2u);
    for (const RecordedProcess& process : platform.processes) {
        EXPECT_FALSE(process.hadApplicationName);
        EXPECT_EQ(process.inheritHandles, FALSE);
        EXPECT_EQ(process.creationFlags, static_cast<DWORD>(DETACHED_PROCESS));
        EXPECT_EQ(process.currentDirectory, std::nullopt);
        EXPECT_EQ(process.startupSize, kStartupRecordSize);
    }
    EXPECT_TRUE(platform.boxes.empty());
}

TEST(ProgramStart, TheFirstStartIsTheMonitorsCommandLineWithTheSwitch)
{
    EXPECT_EQ(std::string(kMonitorFirstStartCommandLine), std::string(kMonitorCommandLine) + ' ' + kFirstStartSwitch);
}

TEST(ProgramStart, AFailedStartIsReportedInABox)
{
    PlatformRecorder platform;
    platform.processStartSucceeds = false;
    LaunchMonitor();
    LaunchSetup();
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[0].text, "Unable to launch Quillo!");
    EXPECT_EQ(platform.boxes[0].caption, "control_messages_test");  // the program's own name
    EXPECT_EQ(platform.boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(platform.boxes[1].text, "Unable to launch Kelvo setup program!");
    EXPECT_EQ(platform.boxes[1].caption, "Quillo");
    EXPECT_EQ(platform.boxes[1].flags, static_cast<UINT>(MB_ICONERROR));
    for (const RecordedBox& box : platform.boxes)
        EXPECT_EQ(box.owner, nullptr);
}

}  // namespace
