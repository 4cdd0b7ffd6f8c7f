// The tray's state icons at the size the notification area draws them: the
// small-icon size at the DPI of the monitor's screen, which may change while
// it runs.
#pragma once

#include "win_handles.h"

#include <windows.h>

// WM_DPICHANGED, which the headers declare only for Windows 7 and later.
inline constexpr UINT kDpiChangedMessage = 0x02E0;

// The unknown, nomail and newmail icons, all of one size.
struct StateIconSet {
    UniqueIcon Icons[3];
    int Size = 0;

    HICON operator[](int state) const { return Icons[state].get(); }
};

// The DPI of the window's screen: its own monitor's where Windows knows
// monitors apart (10 from 1607 on), else the system's.
UINT WindowDpi(HWND window);

// The small-icon size at a DPI: 16 at 96, 32 at 192.
int SmallIconSize(UINT dpi);

// The three state icons from the program's resources at size x size;
// nothing is changed when one of them cannot be loaded.
bool LoadStateIcons(HINSTANCE instance, int size, StateIconSet& icons);
