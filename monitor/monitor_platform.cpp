// The monitor's real platform calls.
#include "monitor_platform.h"

const MonitorPlatformCalls kRealMonitorPlatform = {&::Shell_NotifyIconA, &::sndPlaySoundA, &::MessageBeep};

MonitorPlatformCalls gMonitorPlatform = kRealMonitorPlatform;
