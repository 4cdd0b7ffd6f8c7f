#include "monitor_state.h"

HINSTANCE gInstance = nullptr;
std::atomic<HWND> gMonitorWindow{nullptr};
