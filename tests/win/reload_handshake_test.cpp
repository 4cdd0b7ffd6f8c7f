// The real check thread and the real reload: CheckThread started as the
// monitor starts it, reporting to a window of this test, whose UM_PAUSED
// handling rebuilds the table from the registry with ReloadHostTable.
#include "check_scheduler.h"

#include "config_registry.h"
#include "monitor_config.h"
#include "monitor_messages.h"
#include "monitor_state.h"
#include "platform_recorder.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct SeenCheck {
    std::string host;  // name/user id: the user id tells the tables apart
    int32_t state;
    const char* status;
    DWORD thread;
};

std::mutex gChecksLock;
std::vector<SeenCheck> gChecks;

std::string HostKey(const HostEntry& host)
{
    return host.Name + "/" + host.UserID;
}

}  // namespace

// Stands in for the probe: a host whose name starts with "full" has mail.
ProbeResult GuessState(const HostConfig& config, const ProbeSettings&)
{
    // The check thread checks its table's entries.
    const HostEntry& host = static_cast<const HostEntry&>(config);
    std::lock_guard<std::mutex> lock(gChecksLock);
    gChecks.push_back({HostKey(host), host.State.load(), host.StatusText.load(), GetCurrentThreadId()});
    ProbeResult result;
    result.State = host.Name.rfind("full", 0) == 0 ? NewMail : NoMail;
    result.StatusText = result.State == NewMail ? kNewMailText : kNoNewMailText;
    return result;
}

namespace {

struct Handled {
    unsigned message;
    std::string host;
    bool operator==(const Handled&) const = default;
};

HostConfig Host(const std::string& name, const std::string& user)
{
    return HostConfig{name, user, "pw", "", "", Nothing, 0};
}

std::vector<Handled> gHandled;
bool gReloadDone = false;
bool gHoldTheThread = false;

LRESULT CALLBACK TestMonitorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case UM_NEWSTATE:
    case UM_NEWSTATUS:
    case UM_NEWMAIL:
        gHandled.push_back({message, HostKey(gHostTable[static_cast<int32_t>(lParam)])});
        return 0;
    case UM_PAUSED:
        gHandled.push_back({message, ""});
        if (gHoldTheThread) {
            // Leaves the check thread in its reload wait, from which the
            // monitor's end must wake it.
            PostQuitMessage(0);
            return 0;
        }
        ReloadHostTable();
        gReloadDone = true;
        return 0;
    case WM_TIMER:
        PostQuitMessage(1);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Runs the message loop until `done` holds after a handled message; false
// after the time limit.
template <typename Done>
bool PumpUntil(Done done)
{
    SetTimer(gMonitorWindow.load(), 1, 20000, nullptr);
    MSG msg;
    bool reached = false;
    while (!reached && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
        reached = done();
    }
    KillTimer(gMonitorWindow.load(), 1);
    if (msg.message == WM_QUIT)
        return msg.wParam == 0;
    return reached;
}

size_t CountOf(unsigned message, const std::string& host, size_t from)
{
    size_t count = 0;
    for (size_t i = from; i < gHandled.size(); ++i)
        count += gHandled[i] == Handled{message, host};
    return count;
}

TEST(ReloadHandshake, WhileAFailedReloadShowsItsBoxTheTableHasNoHosts)
{
    DeleteConfigKey();
    StoreHosts({Host("full.a", "old"), Host("empty.b", "old")});
    LoadHostTable();
    DeleteValue("Host1Delay");
    PlatformRecorder platform;
    // The box keeps dispatching the window's messages; a click on the icon
    // meanwhile builds its menu from this count.
    int32_t countWhileBoxOpen = -1;
    platform.whileBoxOpen = [&](const RecordedBox&) { countWhileBoxOpen = gHostTable.Count.load(); };
    gReload.Paused = true;
    EXPECT_EQ(ExitCodeOf([] { ReloadHostTable(); }), 1u);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"Missing registry key: Host1Delay"});
    EXPECT_EQ(countWhileBoxOpen, 0);
    FreeHostTable();
    DeleteConfigKey();
}

TEST(ReloadHandshake, MessagesBeforeThePauseReferToTheOldTableAndAfterItToTheNew)
{
    DeleteConfigKey();
    StoreHosts({Host("full.a", "old"), Host("empty.b", "old")});
    LoadHostTable();

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = TestMonitorProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuilloReloadTest";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "QuilloReloadTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    gMonitorWindow = window;
    ASSERT_TRUE(CreateCheckEvents());

    // A UM_PAUSED that the check thread did not post leaves the table alone.
    const HostEntry* loaded = &gHostTable[0];
    ReloadHostTable();
    EXPECT_EQ(&gHostTable[0], loaded);
    EXPECT_EQ(gHostTable.Count.load(), 2);
    EXPECT_FALSE(gReload.Done.load());
    EXPECT_EQ(WaitForSingleObject(gReloadEvent.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    const UniqueKernelHandle checkThread = StartCheckThread();
    ASSERT_TRUE(checkThread);

    // The first tick checks both hosts.
    ASSERT_TRUE(PumpUntil([] { return CountOf(UM_NEWSTATE, "empty.b/old", 0) == 1; }));
    EXPECT_EQ(gHandled, (std::vector<Handled>{
                            {UM_NEWSTATE, "full.a/old"}, {UM_NEWMAIL, "full.a/old"}, {UM_NEWSTATE, "empty.b/old"}}));

    // A save: the mailbox of full.a still holds mail, empty.b is gone.
    StoreHosts({Host("full.a", "new"), Host("empty.c", "new"), Host("full.d", "new")});
    RequestReload();
    ASSERT_TRUE(PumpUntil([] { return gReloadDone && CountOf(UM_NEWMAIL, "full.d/new", 0) == 1; }));

    size_t pause = 0;
    while (pause < gHandled.size() && gHandled[pause].message != UM_PAUSED)
        ++pause;
    ASSERT_LT(pause, gHandled.size());
    for (size_t i = 0; i < gHandled.size(); ++i) {
        if (i == pause)
            continue;
        const bool oldTable = gHandled[i].host.ends_with("/old");
        EXPECT_EQ(oldTable, i < pause) << gHandled[i].host << " at " << i;
    }
    const std::vector<Handled> afterReload(gHandled.begin() + static_cast<ptrdiff_t>(pause) + 1, gHandled.end());
    EXPECT_EQ(afterReload, (std::vector<Handled>{{UM_NEWSTATE, "full.a/new"},
                                                 {UM_NEWMAIL, "full.a/new"},
                                                 {UM_NEWSTATE, "empty.c/new"},
                                                 {UM_NEWSTATE, "full.d/new"},
                                                 {UM_NEWMAIL, "full.d/new"}}));
    EXPECT_FALSE(gReload.Done.load());
    {
        std::lock_guard<std::mutex> lock(gChecksLock);
        // Every host of the new table starts unknown and untried.
        std::vector<std::string> firstChecked;
        for (const SeenCheck& check : gChecks) {
            EXPECT_NE(check.thread, GetCurrentThreadId());
            if (!check.host.ends_with("/new") ||
                std::find(firstChecked.begin(), firstChecked.end(), check.host) != firstChecked.end())
                continue;
            firstChecked.push_back(check.host);
            EXPECT_EQ(check.state, Unknown) << check.host;
            EXPECT_STREQ(check.status, kNotTriedYetText) << check.host;
        }
        EXPECT_EQ(firstChecked, (std::vector<std::string>{"full.a/new", "empty.c/new", "full.d/new"}));
    }

    gHoldTheThread = true;
    RequestReload();
    EXPECT_TRUE(PumpUntil([] { return false; }));
    ASSERT_TRUE(StopCheckThread(checkThread.get(), kCheckThreadStopBoundMs));
    FreeHostTable();
    DestroyWindow(window);
    DeleteConfigKey();
}

}  // namespace
