// The check thread on the real system, and the main thread's side of the
// reload handshake. The rules themselves live in scheduler_rules.cpp.
#include "check_scheduler.h"

#include "control_messages.h"
#include "monitor_config.h"
#include "monitor_state.h"
#include "pop3_probe.h"

#include <windows.h>

namespace {

void PostNewStatus(int32_t hostIndex)
{
    PostMessageA(gMonitorWindow.load(), UM_NEWSTATUS, 0, hostIndex);
}

// Port 110, the 30-second bound and the real sockets: only the progress
// report is the program's own.
constexpr ProbeSettings kMonitorProbe{.PostStatus = &PostNewStatus};

} // namespace

CheckHooks SystemCheckHooks()
{
    return CheckHooks{
        [] { return static_cast<uint32_t>(GetTickCount()); },
        [](uint32_t milliseconds) { Sleep(milliseconds); },
        [](HostEntry& host) { return GuessState(host, kMonitorProbe); },
        // Posted, never sent: the check thread must not wait for the window.
        [](unsigned message, int32_t hostIndex) {
            PostMessageA(gMonitorWindow.load(), message, 0, static_cast<LPARAM>(hostIndex));
        },
        [] { WaitForSingleObject(gReloadEvent.get(), INFINITE); },
    };
}

void __cdecl CheckThread(void*)
{
    RunCheckLoop(gHostTable, gReload, SystemCheckHooks());
}

void RequestReload()
{
    gReload.Requested = true;
}

void ReloadHostTable()
{
    // Freeing the table while the check thread is not waiting would pull it
    // from under a running check, and the set event would let the next real
    // pause run on without waiting.
    if (!gReload.Paused.exchange(false))
        return;
    // The check thread is blocked on gReloadEvent: nobody reads the table
    // until the event is set. A configuration that cannot be loaded ends the
    // process here, with the check thread still waiting.
    FreeHostTable();
    LoadHostTable();
    gReload.Done = true;
    SetEvent(gReloadEvent.get());
}
