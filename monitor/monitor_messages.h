// The monitor window's own messages, which the check thread and the shell
// post to it. Portable: no Windows headers, so that the monitor's portable
// rules can post these numbers too.
#pragma once

// The window's message from the setup program, numbered among these.
#include "control_messages.h"

// Numbered from WM_USER (0x0400). Always posted, never sent.
inline constexpr unsigned UM_PROD = 0x0400 + 11;       // tray icon notification from the shell
inline constexpr unsigned UM_NEWSTATE = 0x0400 + 12;   // lParam: host index
inline constexpr unsigned UM_NEWMAIL = 0x0400 + 13;    // lParam: host index
inline constexpr unsigned UM_PAUSED = 0x0400 + 14;     // the check thread waits for a reload
inline constexpr unsigned UM_NEWSTATUS = 0x0400 + 17;  // lParam: host index
