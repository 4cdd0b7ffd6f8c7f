// The monitor's process-wide state that more than one of its files uses.
// The tray window keeps its own record (tray_window.cpp); the probe's
// settings are made for each check (check_scheduler.cpp).
#pragma once

#include "host_table.h"
#include "scheduler_rules.h"
#include "win_handles.h"

#include <windows.h>

#include <atomic>

// The program module, which holds the icons and the window class; set once
// at start-up.
extern HINSTANCE gInstance;

// The hidden "ZT-Quillo" window; set once after creation, then read by the
// check thread, which posts its reports to it.
extern std::atomic<HWND> gMonitorWindow;

// Rebuilt only inside the reload handshake, while the check thread waits.
extern HostTable gHostTable;

// The reload handshake between the main thread and the check thread: its
// flags, and the unnamed auto-reset event that wakes the check thread,
// created at start-up.
extern ReloadSignals gReload;
extern UniqueKernelHandle gReloadEvent;

// Set by the main thread when the monitor ends; the check thread leaves its
// loop, and the manual-reset event wakes it from its sleep or reload wait.
extern std::atomic<bool> gStopChecks;
extern UniqueKernelHandle gStopEvent;
