// The recording replacements of the monitor's own platform calls.
#include "monitor_platform_recorder.h"

namespace {

MonitorPlatformRecorder* gMonitorRecorder = nullptr;

BOOL WINAPI RecordShellNotifyIcon(DWORD message, PNOTIFYICONDATAA data)
{
    gMonitorRecorder->trayCalls.push_back({message, *data});
    return TRUE;
}

BOOL WINAPI RecordSndPlaySound(LPCSTR sound, UINT flags)
{
    gMonitorRecorder->sounds.emplace_back(sound ? sound : "", flags);
    return TRUE;
}

BOOL WINAPI RecordMessageBeep(UINT type)
{
    gMonitorRecorder->beeps.push_back(type);
    return TRUE;
}

}  // namespace

MonitorPlatformRecorder::MonitorPlatformRecorder()
{
    gMonitorRecorder = this;
    gMonitorPlatform = MonitorPlatformCalls{&RecordShellNotifyIcon, &RecordSndPlaySound, &RecordMessageBeep};
}

MonitorPlatformRecorder::~MonitorPlatformRecorder()
{
    gMonitorPlatform = kRealMonitorPlatform;
    gMonitorRecorder = nullptr;
}
