// Process-wide state of the monitor that more than one of its files uses.
#pragma once

#include <windows.h>

#include <atomic>

extern HINSTANCE gInstance;

// The hidden "ZT-Quillo" window; set once after creation, then read by the
// check thread, which posts its reports to it.
extern std::atomic<HWND> gMonitorWindow;
