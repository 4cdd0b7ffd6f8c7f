// The check scheduler: one check thread that wakes once a second and checks
// every due host, the reload handshake with the main thread, and the stop
// when the monitor ends. The rules themselves are in scheduler_rules.h, the
// shared words in monitor_state.h.
#pragma once

#include "scheduler_rules.h"
#include "win_handles.h"

// The thread procedure; returns once StopCheckThread has told it to.
unsigned __stdcall CheckThread(void*);

// The check thread's hooks into the real system: GetTickCount, the sleep and
// the reload wait (both cut short by gStopEvent), GuessState, and
// PostMessageA to the monitor window.
CheckHooks SystemCheckHooks();

// Creates gReloadEvent and gStopEvent; false when either cannot be had.
bool CreateCheckEvents();

// Starts CheckThread with its 4096-byte stack, after CreateCheckEvents; no
// handle when it cannot be started.
UniqueKernelHandle StartCheckThread();

// How long the monitor waits at its end for the check thread. A check wakes
// within moments; only a name lookup or a request to a sign-in provider
// cannot be cut short.
inline constexpr DWORD kCheckThreadStopBoundMs = 5000;

// Main thread, when the monitor ends: tells the check thread to stop, wakes
// it and waits up to boundMs for its end. True once it has ended; only then
// may the host table and Winsock be released.
bool StopCheckThread(HANDLE thread, DWORD boundMs);

// Main thread, on UM_NEWCONFIG: the check thread takes it at its next tick.
void RequestReload();

// Main thread, on UM_PAUSED: rebuilds the host table while the check thread
// waits, then wakes it. Does nothing unless the check thread announced the
// pause.
void ReloadHostTable();
