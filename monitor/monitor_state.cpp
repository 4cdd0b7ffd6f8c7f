#include "monitor_state.h"

HINSTANCE gInstance = nullptr;
std::atomic<HWND> gMonitorWindow{nullptr};
HostTable gHostTable;
ReloadSignals gReload;
UniqueKernelHandle gReloadEvent;
std::atomic<bool> gStopChecks{false};
UniqueKernelHandle gStopEvent;
