// The platform recorder of the monitor's tests: the calls of both programs,
// and the tray icon, the sound and the beep.
#pragma once

#include "monitor_platform.h"
#include "platform_recorder.h"

#include <string>
#include <utility>
#include <vector>

// The size the system expects of the tray record's first version, per
// architecture.
inline constexpr DWORD kFirstTrayRecordSize = sizeof(void*) == 4 ? 88 : 104;

struct RecordedTrayCall {
    DWORD message;
    NOTIFYICONDATAA data;
};

class MonitorPlatformRecorder : public PlatformRecorder {
public:
    MonitorPlatformRecorder();
    ~MonitorPlatformRecorder();

    std::vector<RecordedTrayCall> trayCalls;
    std::vector<std::pair<std::string, UINT>> sounds;
    std::vector<UINT> beeps;
};
