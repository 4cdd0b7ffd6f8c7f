// The check scheduler: one check thread that wakes once a second and checks
// every due host, and the reload handshake with the main thread. The rules
// themselves are in scheduler_rules.h, the shared words in monitor_state.h.
#pragma once

#include "scheduler_rules.h"

// The thread procedure; never returns. Started once with a 4096-byte stack.
void __cdecl CheckThread(void*);

// The check thread's hooks into the real system: GetTickCount, Sleep,
// GuessState, PostMessageA to the monitor window, and the wait on
// gReloadEvent.
CheckHooks SystemCheckHooks();

// Main thread, on UM_NEWCONFIG: the check thread takes it at its next tick.
void RequestReload();

// Main thread, on UM_PAUSED: rebuilds the host table while the check thread
// waits, then wakes it. Does nothing unless the check thread announced the
// pause.
void ReloadHostTable();
