// The notifications from the tray icon, as balloons (which Windows 10 and 11
// show as toasts): new mail for a host, and the note after the first start.
// Main thread only.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <optional>
#include <string>

// The record of the first shell version with balloons: the icon itself keeps
// the older, shorter record (tray_window.h), which has no room for them.
inline constexpr DWORD kBalloonRecordSize = NOTIFYICONDATAA_V2_SIZE;

inline constexpr char kFirstStartTitle[] = "Quillo";
inline constexpr char kFirstStartText[] = "Quillo is checking your mail. Click this icon for the menu.";

// Shows the new-mail notification for the host at this index of the current
// table; it replaces any notification shown before.
void ShowNewMailBalloon(int32_t hostIndex, const std::string& text);

// Shows the note that tells a new user where the monitor went.
void ShowFirstStartBalloon();

// The host whose notification the user chose: that of the last one shown,
// while the table it was shown from is loaded; nothing after the first-start
// note.
std::optional<int32_t> BalloonHost();

// For tests: a fresh start for each case.
void ResetBalloonState();
