// How the two programs meet outside the registry: the monitor window's
// identity, the message by which the setup program tells it of a new
// configuration, and the command lines by which each program starts the
// other. Portable: no Windows headers. The monitor's own messages are in
// monitor/monitor_messages.h. Finding the monitor and starting it belong to
// the setup program (setup/setup_config.h), starting the setup program to
// the monitor (monitor/monitor_config.h).
#pragma once

// Numbered from WM_USER (0x0400) among the monitor's own messages, which
// must not take its number. Posted, never sent.
inline constexpr unsigned UM_NEWCONFIG = 0x0400 + 15;  // the registry changed

// Both the class name and the title of the monitor's window; the setup
// program looks for the title.
inline constexpr const char* kMonitorWindowName = "ZT-Quillo";

inline constexpr const char* kMonitorCommandLine = "quillo";
inline constexpr const char* kSetupCommandLine = "Kelvo";

// The setup program starts the monitor so once, after the save that made the
// first configuration, and the monitor then tells the new user where it
// went. An argument, not a stored value: only that start knows it is the
// first, and a monitor of an older version ignores arguments. The monitor
// takes its arguments as exactly the switch or not at all.
inline constexpr const char* kFirstStartSwitch = "/firststart";
inline constexpr const char* kMonitorFirstStartCommandLine = "quillo /firststart";
