// The monitor's hidden "ZT-Quillo" window: the tray icon with its tooltip,
// the pop-up menu and the private messages of the other thread and program.
// Main thread only.
#pragma once

#include "win_handles.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

// Menu commands besides the host indices.
inline constexpr UINT kHelpCommand = 1638;    // 0x666
inline constexpr UINT kSetupCommand = 1911;   // 0x777
inline constexpr UINT kExitCommand = 2184;    // 0x888
inline constexpr ULONG_PTR kHelpTopic = 666;
inline constexpr const char* kHelpFile = "kelvo.hlp";

// 88: the record of the first shell version, with a 64-character tip.
inline constexpr DWORD kTrayRecordSize = NOTIFYICONDATAA_V1_SIZE;

inline constexpr int32_t kNoShownState = 65535;

inline constexpr char kUnknownTip[] = "Mail status is unknown!";
inline constexpr char kNoMailTip[] = "You have no new mail.";
inline constexpr char kNewMailTip[] = "You have new mail waiting!";

// Process-wide state of the window; tests reset it between cases.
extern NOTIFYICONDATAA gTrayRecord;
extern bool gFirstTrayUpdate;
extern int32_t gShownState;
extern HICON gStateIcons[3];  // unknown, nomail, newmail
// Kept after it closes, until the next click builds a new one.
extern UniqueMenu gPopupMenu;
extern bool gMenuOpen;

bool RegisterMonitorClass();
HWND CreateMonitorWindow();
LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void UpdateTrayIcon(HWND window);
void BuildPopupMenu();
void PokeMenus();

// Takes the icon out of the notification area if it was ever put there.
void RemoveTrayIcon();
