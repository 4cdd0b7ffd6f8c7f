// The platform calls that only the monitor makes and a test must observe:
// the tray icon and its notifications, the new-mail sound and the beep.
// Called through gMonitorPlatform, which holds the real functions; a test
// may replace an entry.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

struct MonitorPlatformCalls {
    decltype(&::Shell_NotifyIconA) Shell_NotifyIconA;
    decltype(&::sndPlaySoundA) sndPlaySoundA;
    decltype(&::MessageBeep) MessageBeep;
};

// Process-wide so that a test can replace an entry for the whole program.
extern MonitorPlatformCalls gMonitorPlatform;

// The real functions, for a test that puts an entry back.
extern const MonitorPlatformCalls kRealMonitorPlatform;
