// The monitor's hidden "ZT-Quillo" window: the tray icon with its tooltip,
// the pop-up menu and the private messages of the other thread and program.
// Main thread only.
#pragma once

#include "menu_lines.h"
#include "tray_icons.h"
#include "win_handles.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

// Menu commands besides the host indices.
inline constexpr UINT kHelpCommand = 1638;   // 0x666
inline constexpr UINT kSetupCommand = 1911;  // 0x777
inline constexpr UINT kExitCommand = 2184;   // 0x888
inline constexpr UINT kHelpTopic = 666;

// 88: the record of the first shell version, with a 64-character tip.
inline constexpr DWORD kTrayRecordSize = NOTIFYICONDATAA_V1_SIZE;

inline constexpr int32_t kNoShownState = 65535;

inline constexpr char kUnknownTip[] = "Mail status is unknown!";
inline constexpr char kNoMailTip[] = "You have no new mail.";
inline constexpr char kNewMailTip[] = "You have new mail waiting!";

// What the window keeps between messages. Its one instance belongs to
// tray_window.cpp; tests look into it through TrayStateForTests.
struct TrayState {
    NOTIFYICONDATAA Record{};
    // The next update adds the icon instead of modifying it.
    bool FirstUpdate = true;
    // The overall state last sent to the shell; none at first, so that the
    // first update always reaches it.
    int32_t ShownState = kNoShownState;
    // Unknown, nomail and newmail, at the size of the notification area.
    StateIconSet StateIcons;
    // Kept after it closes, until the next click builds a new one.
    UniqueMenu PopupMenu;
    bool MenuOpen = false;
    // The host lines of the current pop-up menu: a host index beyond them has
    // no line to change (the menu may have been built while a reload ran).
    int32_t MenuHostLines = 0;
    // The table generation the menu was built from: after a reload its line
    // i names a host that index i no longer means, so it neither follows the
    // checks nor starts a reader.
    uint32_t MenuGeneration = 0;
    // The shell broadcasts this when it starts again, e.g. after explorer
    // died; every icon of the old shell is gone then.
    UINT TaskbarCreatedMessage = 0;
    char BuildBuffer[kMenuLineSize]{};
    char UpdateBuffer[kMenuLineSize]{};
};

// For tests: the window's record, and a fresh one for each case.
TrayState& TrayStateForTests();
void ResetTrayState();

bool RegisterMonitorClass();
HWND CreateMonitorWindow();
LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void UpdateTrayIcon(HWND window);
void BuildPopupMenu();
void PokeMenus();

// Takes the icon out of the notification area if it was ever put there.
void RemoveTrayIcon();
