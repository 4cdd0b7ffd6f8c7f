// The monitor's window in-process under Wine: the tray icon as the shell
// receives it, the menu as the user sees it, and where its commands go.
#include "check_scheduler.h"
#include "control_messages.h"
#include "debug_trace.h"
#include "monitor_config.h"
#include "monitor_messages.h"
#include "monitor_platform_recorder.h"
#include "monitor_state.h"
#include "probe.h"
#include "tray_balloon.h"
#include "tray_window.h"

#include <gtest/gtest.h>

#include <htmlhelp.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::string> gDebugLines;

TrayState& gTray = TrayStateForTests();

void RecordDebugLine(const char* line)
{
    gDebugLines.emplace_back(line);
}

struct Host {
    std::string name;
    int32_t state;
    const char* status;
};

class MonitorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gInstance = GetModuleHandleA(nullptr);
        ASSERT_TRUE(RegisterMonitorClass());
    }

    void SetUp() override
    {
        ResetTrayState();
        ResetBalloonState();
        gDebugLines.clear();
        gDebugTraceSink = &RecordDebugLine;
        SetHosts({{"pop.example.org", Unknown, kNotTriedYetText}});
        window = CreateMonitorWindow();
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        ResetTrayState();
        gMonitorWindow = nullptr;
        gDebugTraceSink = nullptr;
        FreeHostTable();
    }

    static void SetHosts(const std::vector<Host>& hosts)
    {
        std::vector<HostConfig> configs(hosts.size());
        for (size_t i = 0; i < hosts.size(); ++i)
            configs[i].Name = hosts[i].name;
        FillHostTable(gHostTable, std::move(configs));
        for (size_t i = 0; i < hosts.size(); ++i) {
            gHostTable[static_cast<int32_t>(i)].State = hosts[i].state;
            gHostTable[static_cast<int32_t>(i)].StatusText = hosts[i].status;
        }
    }

    // The state message of the check thread for one host.
    void NewState(int32_t index, int32_t state)
    {
        gHostTable[index].State = state;
        SendMessageA(window, UM_NEWSTATE, 0, index);
    }

    bool Traced(const std::string& line) const
    {
        return std::find(gDebugLines.begin(), gDebugLines.end(), line) != gDebugLines.end();
    }

    // A posted message of the given number waiting for the window.
    bool Posted(UINT message)
    {
        MSG found;
        return PeekMessageA(&found, window, message, message, PM_REMOVE) != 0;
    }

    MonitorPlatformRecorder platform;
    HWND window = nullptr;
};

std::string MenuText(HMENU menu, UINT position)
{
    char text[128] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

bool IsSeparator(HMENU menu, UINT position)
{
    return (GetMenuState(menu, position, MF_BYPOSITION) & MF_SEPARATOR) != 0;
}

// An icon as drawn: its colours, row by row (as many as its size).
std::vector<uint32_t> Pixels(HICON icon)
{
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return {};
    BITMAP bitmap{};
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof format.bmiHeader, bitmap.bmWidth, -bitmap.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> pixels(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight);
    const HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return pixels;
}

// The program's icon resource NAME drawn at SIZE x SIZE.
std::vector<uint32_t> ResourcePixels(const char* name, int size)
{
    const HICON icon = static_cast<HICON>(LoadImageA(gInstance, name, IMAGE_ICON, size, size, 0));
    std::vector<uint32_t> pixels = Pixels(icon);
    DestroyIcon(icon);
    return pixels;
}

void ExpectTrayRecord(const RecordedTrayCall& call, DWORD message, HWND window, HICON icon, const char* tip)
{
    EXPECT_EQ(call.message, message);
    EXPECT_EQ(call.data.cbSize, kFirstTrayRecordSize);
    EXPECT_EQ(call.data.hWnd, window);
    EXPECT_EQ(call.data.uID, 0u);
    EXPECT_EQ(call.data.uFlags, 7u);
    EXPECT_EQ(call.data.uCallbackMessage, 1035u);
    EXPECT_EQ(call.data.hIcon, icon);
    EXPECT_STREQ(call.data.szTip, tip);
}

TEST_F(MonitorWindow, IsTheSpecifiedHiddenWindowOfItsClass)
{
    WNDCLASSA windowClass{};
    ASSERT_TRUE(GetClassInfoA(gInstance, "ZT-Quillo", &windowClass));
    EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(windowClass.cbClsExtra, 0);
    EXPECT_EQ(windowClass.cbWndExtra, 0);
    EXPECT_NE(windowClass.hIcon, nullptr);
    EXPECT_EQ(windowClass.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(windowClass.hbrBackground, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(windowClass.lpszMenuName, nullptr);

    char title[32] = "";
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "ZT-Quillo");
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetMenu(window), nullptr);
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
}

TEST_F(MonitorWindow, TheIconIsAddedAtCreationAndSentAgainOnlyWhenTheOverallStateChanges)
{
    // At the small-icon size of this unscaled screen.
    EXPECT_EQ(Pixels(gTray.StateIcons[0]), ResourcePixels("UNKNOWN", 16));
    EXPECT_EQ(Pixels(gTray.StateIcons[1]), ResourcePixels("NOMAIL", 16));
    EXPECT_EQ(Pixels(gTray.StateIcons[2]), ResourcePixels("NEWMAIL", 16));

    ASSERT_EQ(platform.trayCalls.size(), 1u);
    ExpectTrayRecord(platform.trayCalls[0], NIM_ADD, window, gTray.StateIcons[0], "Mail status is unknown!");

    UpdateTrayIcon(window);
    NewState(0, Unknown);
    EXPECT_EQ(platform.trayCalls.size(), 1u);

    NewState(0, NoMail);
    ASSERT_EQ(platform.trayCalls.size(), 2u);
    ExpectTrayRecord(platform.trayCalls[1], NIM_MODIFY, window, gTray.StateIcons[1], "You have no new mail.");

    NewState(0, NewMail);
    ASSERT_EQ(platform.trayCalls.size(), 3u);
    ExpectTrayRecord(platform.trayCalls[2], NIM_MODIFY, window, gTray.StateIcons[2], "You have new mail waiting!");
    NewState(0, NewMail);
    EXPECT_EQ(platform.trayCalls.size(), 3u);

    DestroyWindow(window);
    ASSERT_EQ(platform.trayCalls.size(), 4u);
    EXPECT_EQ(platform.trayCalls[3].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(platform.trayCalls[3].data.hWnd, window);
    EXPECT_EQ(platform.trayCalls[3].data.uID, 0u);
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
}

TEST_F(MonitorWindow, TheOverallStateIsTheGreatestOfAllHosts)
{
    SetHosts({{"a", NewMail, kNewMailText}, {"b", Unknown, kRejectedStatText}});
    NewState(1, Unknown);
    ASSERT_EQ(platform.trayCalls.size(), 2u);
    EXPECT_STREQ(platform.trayCalls[1].data.szTip, "You have new mail waiting!");

    // A host turning to new mail while another already has it changes nothing.
    NewState(1, NewMail);
    EXPECT_EQ(platform.trayCalls.size(), 2u);

    NewState(0, NoMail);
    NewState(1, Unknown);
    ASSERT_EQ(platform.trayCalls.size(), 3u);
    EXPECT_STREQ(platform.trayCalls[2].data.szTip, "You have no new mail.");
    EXPECT_EQ(platform.trayCalls[2].data.hIcon, gTray.StateIcons[1]);

    SetHosts({});
    UpdateTrayIcon(window);
    ASSERT_EQ(platform.trayCalls.size(), 4u);
    EXPECT_STREQ(platform.trayCalls[3].data.szTip, "Mail status is unknown!");
}

TEST_F(MonitorWindow, ARestartedShellGetsTheIconAgainWithTheCurrentState)
{
    SetHosts({{"a", NoMail, kNoNewMailText}});
    NewState(0, NoMail);
    ASSERT_EQ(platform.trayCalls.size(), 2u);

    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ASSERT_EQ(platform.trayCalls.size(), 3u);
    ExpectTrayRecord(platform.trayCalls[2], NIM_ADD, window, gTray.StateIcons[1], "You have no new mail.");
    // The shell now shows the current state, so an unchanged state sends nothing.
    NewState(0, NoMail);
    EXPECT_EQ(platform.trayCalls.size(), 3u);
}

TEST_F(MonitorWindow, TheIconIsSentAgainAtTheSizeOfANewDpiAndOfARestartedShell)
{
    SetHosts({{"a", NewMail, kNewMailText}});
    NewState(0, NewMail);
    size_t calls = platform.trayCalls.size();
    for (const auto& [dpi, size] : {std::pair{144, 24}, {192, 32}, {120, 20}}) {
        SendMessageA(window, kDpiChangedMessage, MAKEWPARAM(dpi, dpi), 0);
        ASSERT_EQ(platform.trayCalls.size(), ++calls) << dpi;
        ExpectTrayRecord(platform.trayCalls.back(), NIM_MODIFY, window, gTray.StateIcons[2],
                         "You have new mail waiting!");
        EXPECT_EQ(Pixels(gTray.StateIcons[2]), ResourcePixels("NEWMAIL", size)) << dpi;
        EXPECT_EQ(Pixels(gTray.StateIcons[0]), ResourcePixels("UNKNOWN", size)) << dpi;
    }
    // The size it has already: nothing to send.
    SendMessageA(window, kDpiChangedMessage, MAKEWPARAM(120, 120), 0);
    EXPECT_EQ(platform.trayCalls.size(), calls);

    // The shell draws at the size of this window's screen again.
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ASSERT_EQ(platform.trayCalls.size(), calls + 1);
    ExpectTrayRecord(platform.trayCalls.back(), NIM_ADD, window, gTray.StateIcons[2], "You have new mail waiting!");
    EXPECT_EQ(Pixels(gTray.StateIcons[2]), ResourcePixels("NEWMAIL", 16));
}

TEST_F(MonitorWindow, TheMenuHasAStatusLinePerHostThenTheFixedItems)
{
    const std::string longName(98, 'h');
    SetHosts({{"pop.example.org", Unknown, kNotTriedYetText},
              {"mail.example.net", Unknown, nullptr},
              {longName, Unknown, kRejectedUserText}});
    BuildPopupMenu();
    ASSERT_EQ(GetMenuItemCount(gTray.PopupMenu.get()), 8);
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 0), "pop.example.org: Haven't tried to contact server yet.");
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 1), "mail.example.net: (state unknown!)");
    const std::string cut = MenuText(gTray.PopupMenu.get(), 2);
    EXPECT_EQ(cut, std::string(48, 'h') + "...: Server rejected USER info - invalid USER name?");
    EXPECT_EQ(cut.size(), 99u);
    for (UINT i = 0; i < 3; ++i)
        EXPECT_EQ(GetMenuItemID(gTray.PopupMenu.get(), i), i);
    EXPECT_TRUE(IsSeparator(gTray.PopupMenu.get(), 3));
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 4), "&Help");
    EXPECT_EQ(GetMenuItemID(gTray.PopupMenu.get(), 4), 1638u);
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 5), "&Configuration");
    EXPECT_EQ(GetMenuItemID(gTray.PopupMenu.get(), 5), 1911u);
    EXPECT_TRUE(IsSeparator(gTray.PopupMenu.get(), 6));
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 7), "E&xit Quillo");
    EXPECT_EQ(GetMenuItemID(gTray.PopupMenu.get(), 7), 2184u);

    // While a reload fills a new table its count stays 0: fixed items only.
    gHostTable.Count = 0;
    BuildPopupMenu();
    ASSERT_EQ(GetMenuItemCount(gTray.PopupMenu.get()), 5);
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 1), "&Help");
    // The table is complete while that menu is still open: its hosts have no
    // lines there, and the separator that shares id 0 stays a separator.
    gHostTable.Count = 3;
    gTray.MenuOpen = true;
    SendMessageA(window, UM_NEWSTATUS, 0, 0);
    gTray.MenuOpen = false;
    EXPECT_TRUE(IsSeparator(gTray.PopupMenu.get(), 0));
    EXPECT_EQ(GetMenuItemCount(gTray.PopupMenu.get()), 5);
}

TEST_F(MonitorWindow, HostsThatShareAServerHaveLinesNamedUserAtServer)
{
    std::vector<HostConfig> hosts(3);
    hosts[0].Name = hosts[2].Name = "127.0.0.71";
    hosts[1].Name = "127.0.0.72";
    hosts[0].UserID = hosts[1].UserID = "ada";
    hosts[2].UserID = "bob";
    FillHostTable(gHostTable, std::move(hosts));
    BuildPopupMenu();
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 0), "ada@127.0.0.71: Haven't tried to contact server yet.");
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 1), "127.0.0.72: Haven't tried to contact server yet.");
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 2), "bob@127.0.0.71: Haven't tried to contact server yet.");
}

// Runs inside the open menu's loop: shows a check in progress, then reads
// the line back and closes the menu.
struct OpenMenuVisit {
    HWND window;
    int ticks = 0;
    bool wasOpen = false;
    std::string lineBefore;
    std::string lineAfter;
    std::string firstLineAfter;
} gVisit;

void CALLBACK VisitOpenMenu(HWND, UINT, UINT_PTR, DWORD)
{
    ++gVisit.ticks;
    if (gVisit.ticks == 1) {
        gVisit.wasOpen = gTray.MenuOpen;
        gVisit.lineBefore = MenuText(gTray.PopupMenu.get(), 1);
        gHostTable[1].StatusText = kConnectingText;
        PostMessageA(gVisit.window, UM_NEWSTATUS, 0, 1);
        gHostTable[0].StatusText = kNewMailText;
        gHostTable[0].State = NewMail;
        PostMessageA(gVisit.window, UM_NEWSTATE, 0, 0);
    } else if (gVisit.ticks == 2) {
        gVisit.lineAfter = MenuText(gTray.PopupMenu.get(), 1);
        gVisit.firstLineAfter = MenuText(gTray.PopupMenu.get(), 0);
        EndMenu();
    }
}

TEST_F(MonitorWindow, ALeftClickOpensTheMenuWhoseLinesFollowTheChecks)
{
    SetHosts({{"a", Unknown, kNotTriedYetText}, {"b", Unknown, kNotTriedYetText}});
    gVisit = OpenMenuVisit{};
    gVisit.window = window;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, &VisitOpenMenu);

    SendMessageA(window, UM_PROD, 0, WM_LBUTTONUP);
    KillTimer(nullptr, timer);

    EXPECT_TRUE(gVisit.wasOpen);
    EXPECT_EQ(gVisit.lineBefore, "b: Haven't tried to contact server yet.");
    EXPECT_EQ(gVisit.lineAfter, "b: Connecting to server...");
    EXPECT_EQ(gVisit.firstLineAfter, "a: New mail waiting!");
    ASSERT_EQ(platform.trayCalls.size(), 2u);  // the new state reached the icon as well
    EXPECT_EQ(platform.trayCalls[1].data.hIcon, gTray.StateIcons[2]);
    EXPECT_FALSE(gTray.MenuOpen);
    EXPECT_TRUE(Posted(WM_USER));
    EXPECT_TRUE(Traced("- PokeMenus invoked"));
    // PokeMenus found the open menu's window among the desktop's windows.
    EXPECT_TRUE(std::any_of(gDebugLines.begin(), gDebugLines.end(), [](const std::string& line) {
        return line.rfind("Window: ", 0) == 0 && line.find("] [#32768] ") != std::string::npos;
    }));
    ASSERT_GE(gDebugLines.size(), 2u);
    EXPECT_EQ(gDebugLines.front(), "- UM_PROD rec'd");
    EXPECT_EQ(gDebugLines.back(), "- UM_PROD done");

    // The closed menu stays until the next click, and is no longer changed.
    ASSERT_TRUE(gTray.PopupMenu);
    gHostTable[1].StatusText = kNoNewMailText;
    SendMessageA(window, UM_NEWSTATUS, 0, 1);
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 1), "b: Connecting to server...");
}

TEST_F(MonitorWindow, OtherMouseEventsOnTheIconOpenNothing)
{
    for (LPARAM mouse : {WM_RBUTTONUP, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}) {
        gDebugLines.clear();
        SendMessageA(window, UM_PROD, 0, mouse);
        EXPECT_EQ(gDebugLines, (std::vector<std::string>{"- UM_PROD rec'd", "- UM_PROD done"}));
    }
    EXPECT_FALSE(gTray.PopupMenu);
    EXPECT_FALSE(Posted(WM_USER));
}

TEST_F(MonitorWindow, AnOpenMenuLineThatCannotBeChangedIsTraced)
{
    SetHosts({{"a", Unknown, kNotTriedYetText}});
    BuildPopupMenu();
    gTray.MenuOpen = true;
    DestroyMenu(gTray.PopupMenu.get());  // the menu is gone under the window's feet
    SendMessageA(window, UM_NEWSTATUS, 0, 0);
    gTray.MenuOpen = false;
    ASSERT_EQ(gDebugLines.size(), 2u);
    EXPECT_EQ(gDebugLines[0].rfind("Modify menu failed: ", 0), 0u) << gDebugLines[0];
    EXPECT_NE(gDebugLines[0], "Modify menu failed: 0");
    EXPECT_EQ(gDebugLines[1], "- PokeMenus invoked");
}

TEST_F(MonitorWindow, MenuCommandsReachHelpSetupAndExit)
{
    SendMessageA(window, WM_COMMAND, 1638, 0);
    ASSERT_EQ(platform.helps.size(), 1u);
    EXPECT_EQ(platform.helps[0].window, window);
    EXPECT_EQ(platform.helps[0].file, HelpFilePath());
    EXPECT_EQ(platform.helps[0].command, static_cast<UINT>(HH_HELP_CONTEXT));
    EXPECT_EQ(platform.helps[0].data, 666u);
    EXPECT_TRUE(platform.boxes.empty());
    platform.helpStarts = false;
    SendMessageA(window, WM_COMMAND, 1638, 0);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"Failed to launch help."});

    SendMessageA(window, WM_COMMAND, 1911, 0);
    ASSERT_EQ(platform.processes.size(), 1u);
    EXPECT_EQ(platform.processes[0].commandLine, "Kelvo");

    // Neither a fixed id nor below the host count (one host here).
    for (WPARAM id : {WPARAM{1}, WPARAM{2}, WPARAM{1000}, WPARAM{0xFFFF}, WPARAM{0x80000001}})
        SendMessageA(window, WM_COMMAND, id, 0);
    EXPECT_EQ(platform.helps.size(), 2u);
    EXPECT_EQ(platform.processes.size(), 1u);
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_FALSE(Posted(WM_CLOSE));

    SendMessageA(window, WM_COMMAND, 2184, 0);
    EXPECT_TRUE(Posted(WM_CLOSE));
    EXPECT_TRUE(IsWindow(window));  // closing is left to the message loop
}

TEST_F(MonitorWindow, AHostsMenuLineStartsItsReaderAndDoesNothingForAHostWithout)
{
    SetHosts({{"pop.example.org", NewMail, kNewMailText}, {"mail.example.net", Unknown, kNotTriedYetText}});
    gHostTable[0].MailReader = "C:\\Mail\\reader.exe -inbox anna";
    BuildPopupMenu();  // as a click on the icon does; its lines are the commands

    SendMessageA(window, WM_COMMAND, 0, 0);
    ASSERT_EQ(platform.processes.size(), 1u);
    EXPECT_EQ(platform.processes[0].commandLine, "\"C:\\Mail\\reader.exe\" -inbox anna");
    EXPECT_EQ(platform.processes[0].currentDirectory, std::optional<std::string>("C:\\Mail"));
    EXPECT_EQ(platform.processes[0].creationFlags, static_cast<DWORD>(DETACHED_PROCESS));
    EXPECT_EQ(platform.processes[0].applicationName, "C:\\Mail\\reader.exe");

    // The second host has no reader: nothing starts and nothing is said.
    SendMessageA(window, WM_COMMAND, 1, 0);
    EXPECT_EQ(platform.processes.size(), 1u);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.sounds.empty());
    EXPECT_TRUE(platform.beeps.empty());

    // A reader that cannot be started is reported.
    platform.processStartSucceeds = false;
    SendMessageA(window, WM_COMMAND, 0, 0);
    EXPECT_EQ(platform.processes.size(), 2u);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"Unable to start mailreader."});
}

TEST_F(MonitorWindow, AMenuBuiltBeforeAReloadNeitherFollowsNorStartsTheNewTablesHosts)
{
    SetHosts({{"old.example.org", NewMail, kNewMailText}});
    gHostTable[0].MailReader = "old-reader.exe";
    BuildPopupMenu();
    // The reload: index 0 is another host now.
    SetHosts({{"new.example.org", Unknown, kConnectingText}});
    gHostTable[0].MailReader = "new-reader.exe";

    gTray.MenuOpen = true;
    SendMessageA(window, UM_NEWSTATUS, 0, 0);
    gTray.MenuOpen = false;
    EXPECT_EQ(MenuText(gTray.PopupMenu.get(), 0), "old.example.org: New mail waiting!");
    SendMessageA(window, WM_COMMAND, 0, 0);
    EXPECT_TRUE(platform.processes.empty());

    // A menu built from the new table starts the new host's reader.
    BuildPopupMenu();
    SendMessageA(window, WM_COMMAND, 0, 0);
    ASSERT_EQ(platform.processes.size(), 1u);
    EXPECT_NE(platform.processes[0].commandLine.find("new-reader.exe"), std::string::npos);
}

void ExpectBalloon(const RecordedTrayCall& call, HWND window, const char* title, const char* text)
{
    EXPECT_EQ(call.message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(call.data.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
    EXPECT_EQ(call.data.hWnd, window);
    EXPECT_EQ(call.data.uFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_STREQ(call.data.szInfoTitle, title);
    EXPECT_STREQ(call.data.szInfo, text);
}

TEST_F(MonitorWindow, ChoosingTheNotificationOfNewMailStartsTheReaderOfItsHost)
{
    gMonitorWindow = window;
    SetHosts({{"pop.example.org", NewMail, kNewMailText}, {"ada@mail.example.org", NewMail, kNewMailText}});
    gHostTable[1].Action = ShowNotification;
    gHostTable[1].MailReader = "C:\\Mail\\reader.exe /ada";
    gHostTable[1].NewMessages = 3;
    SendMessageA(window, UM_NEWMAIL, 0, 1);
    ExpectBalloon(platform.trayCalls.back(), window, "New mail", "3 new messages for ada@mail.example.org");
    EXPECT_EQ(platform.beeps.size(), 1u);  // the host's sound, as for every action
    SendMessageA(window, UM_PROD, 0, NIN_BALLOONTIMEOUT);
    EXPECT_TRUE(platform.processes.empty());
    SendMessageA(window, UM_PROD, 0, NIN_BALLOONUSERCLICK);
    ASSERT_EQ(platform.processes.size(), 1u);
    EXPECT_EQ(platform.processes[0].commandLine, "\"C:\\Mail\\reader.exe\" /ada");

    // Shown before a reload, it names none of the new table's hosts; the
    // first-start note names no host at all.
    SendMessageA(window, UM_NEWMAIL, 0, 1);
    SetHosts({{"a.example.org", NewMail, kNewMailText}, {"b.example.org", NewMail, kNewMailText}});
    gHostTable[1].Action = ShowNotification;
    gHostTable[1].MailReader = "b-reader.exe";
    SendMessageA(window, UM_PROD, 0, NIN_BALLOONUSERCLICK);
    SendMessageA(window, UM_NEWMAIL, 0, 1);
    ShowFirstStartBalloon();
    ExpectBalloon(platform.trayCalls.back(), window, "Quillo",
                  "Quillo is checking your mail. Click this icon for the menu.");
    SendMessageA(window, UM_PROD, 0, NIN_BALLOONUSERCLICK);
    EXPECT_EQ(platform.processes.size(), 1u);
}

TEST_F(MonitorWindow, MessagesOfTheOtherThreadAndProgramAreTraced)
{
    gReload.Requested = false;
    SendMessageA(window, UM_NEWCONFIG, 0, 0);
    EXPECT_TRUE(gReload.Requested.load());
    EXPECT_EQ(gDebugLines, (std::vector<std::string>{"- UM_NEWCONFIG rec'd", "- UM_NEWCONFIG done"}));
    gReload.Requested = false;

    gDebugLines.clear();
    SendMessageA(window, UM_NEWMAIL, 0, 0);
    ASSERT_GE(gDebugLines.size(), 2u);
    EXPECT_EQ(gDebugLines.front(), "- UM_NEWMAIL rec'd");
    EXPECT_EQ(gDebugLines.back(), "- UM_NEWMAIL done");
}

}  // namespace
