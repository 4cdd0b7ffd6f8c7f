// quillo.exe itself under Wine, driven from outside as the user, the setup
// program and the desktop would: started with a prepared registry, found by
// its window title, told to exit, and its message boxes read and answered.
#include "win/config_registry.h"

#include "standin_log.h"
#include "win_handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

namespace {

// Beside the test programs: quillo.exe and the stand-in for the setup program
// that it starts by its bare name.
std::string MonitorPath()
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path = self;
    path.erase(path.find_last_of('\\') + 1);
    return path + "..\\system-bin\\quillo.exe";
}

class Monitor {
public:
    Monitor()
    {
        std::string command = "\"" + MonitorPath() + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &started)) {
            process_.reset(started.hProcess);
            CloseHandle(started.hThread);
            id_ = started.dwProcessId;
        }
    }
    ~Monitor()
    {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.get(), 99);
    }

    bool started() const { return static_cast<bool>(process_); }
    DWORD id() const { return id_; }

    // The exit status once the process has ended within timeoutMs.
    std::optional<DWORD> ExitStatus(DWORD timeoutMs)
    {
        if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD status = 0;
        GetExitCodeProcess(process_.get(), &status);
        return status;
    }

    bool Running() { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

    // A top-level window of this process with the class and title given
    // (null: any title).
    HWND FindWindowOf(const char* className, const char* title)
    {
        Search search{id_, className, title, nullptr};
        EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs = 10000)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < timeoutMs && Running()) {
            if (HWND window = FindWindowOf(className, title))
                return window;
            Sleep(20);
        }
        return nullptr;
    }

private:
    struct Search {
        DWORD process;
        const char* className;
        const char* title;
        HWND found;
    };

    static BOOL CALLBACK Match(HWND window, LPARAM data)
    {
        Search& search = *reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        char className[64] = "";
        char title[128] = "";
        GetClassNameA(window, className, sizeof className);
        GetWindowTextA(window, title, sizeof title);
        if (owner == search.process && lstrcmpA(className, search.className) == 0 &&
            (search.title == nullptr || lstrcmpA(title, search.title) == 0)) {
            search.found = window;
            return FALSE;
        }
        return TRUE;
    }

    UniqueKernelHandle process_;
    DWORD id_ = 0;
};

std::string TextOf(HWND window)
{
    char text[256] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// Icons in Wine's own notification area (the "Wine System Tray" window on a
// desktop without a shell of its own); 0 while that window does not exist.
BOOL CALLBACK CountTrayIcon(HWND window, LPARAM count)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "__winex11_tray_icon") == 0)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int TrayIcons()
{
    int count = 0;
    if (HWND tray = FindWindowA("__winex11_standalone_tray", nullptr))
        EnumChildWindows(tray, &CountTrayIcon, reinterpret_cast<LPARAM>(&count));
    return count;
}

constexpr const char* kNoTrayWindow =
    "the icon did not show in Wine's own tray window (on a display with a notification area of its own, Wine puts "
    "the icons there; run the tests on the Xvfb that scripts/wine-run starts)";

bool WaitForTrayIcons(int count, DWORD timeoutMs = 5000)
{
    const DWORD start = GetTickCount();
    while (TrayIcons() != count && GetTickCount() - start < timeoutMs)
        Sleep(20);
    return TrayIcons() == count;
}

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
    const HWND box = monitor.WaitForWindow("#32770", nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), "Missing registry key: Host0Delay");
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
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
    const HWND box = monitor.WaitForWindow("#32770", nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), "Quillo");
    EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), "Missing registry key: Host0Delay");
    EXPECT_EQ(monitor.FindWindowOf("ZT-Quillo", "ZT-Quillo"), nullptr);

    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(monitor.ExitStatus(10000), std::optional<DWORD>(1));
    EXPECT_TRUE(standins.WaitForStarts(0, 0).empty());
}

} // namespace
