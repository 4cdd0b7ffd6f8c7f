// How the two programs meet outside the registry: the monitor window's
// identity, its private messages, and the command lines by which each
// program starts the other. Portable: no Windows headers, so that the
// monitor's portable rules can post these numbers too. Finding the monitor
// and starting it belong to the setup program (setup/setup_config.h),
// starting the setup program to the monitor (monitor/monitor_config.h).
#pragma once

// Numbered from WM_USER (0x0400). Always posted, never sent; only
// UM_NEWCONFIG crosses from the setup program to the monitor.
inline constexpr unsigned UM_PROD = 0x0400 + 11;       // tray icon notification from the shell
inline constexpr unsigned UM_NEWSTATE = 0x0400 + 12;   // lParam: host index
inline constexpr unsigned UM_NEWMAIL = 0x0400 + 13;    // lParam: host index
inline constexpr unsigned UM_PAUSED = 0x0400 + 14;     // the check thread waits for a reload
inline constexpr unsigned UM_NEWCONFIG = 0x0400 + 15;  // the registry changed
inline constexpr unsigned UM_NEWSTATUS = 0x0400 + 17;  // lParam: host index

// Both the class name and the title of the monitor's window; the setup
// program looks for the title.
inline constexpr const char* kMonitorWindowName = "ZT-Quillo";

inline constexpr const char* kMonitorCommandLine = "quillo";
inline constexpr const char* kSetupCommandLine = "Kelvo";
