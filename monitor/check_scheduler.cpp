// The check thread on the real system, and the main thread's side of the
// reload handshake. The rules themselves live in scheduler_rules.cpp.
#include "check_scheduler.h"

#include "monitor_config.h"
#include "monitor_state.h"
#include "probe.h"

#include <windows.h>
#include <process.h>

CheckHooks SystemCheckHooks()
{
    return CheckHooks{
        [] { return static_cast<uint32_t>(GetTickCount()); },
        [](uint32_t milliseconds) { WaitForSingleObject(gStopEvent.get(), milliseconds); },
        // The 30-second bound and the real sockets: only the progress report
        // and the stop are the program's own.
        [](const HostEntry& host, const ProgressReport& progress) {
            return GuessState(host, ProbeSettings{.Progress = progress, .Stop = &gStopChecks});
        },
        // Posted, never sent: the check thread must not wait for the window.
        [](unsigned message, int32_t hostIndex) {
            return PostMessageA(gMonitorWindow.load(), message, 0, static_cast<LPARAM>(hostIndex)) != 0;
        },
        [] {
            const HANDLE events[] = {gReloadEvent.get(), gStopEvent.get()};
            WaitForMultipleObjects(2, events, FALSE, INFINITE);
        },
    };
}

unsigned __stdcall CheckThread(void*)
{
    RunCheckLoop(gHostTable, gReload, gStopChecks, SystemCheckHooks());
    return 0;
}

bool CreateCheckEvents()
{
    gReloadEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    // Manual reset: once set it wakes every later sleep and wait as well.
    gStopEvent.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    return gReloadEvent && gStopEvent;
}

UniqueKernelHandle StartCheckThread()
{
    // _beginthreadex, not _beginthread: its handle stays valid after the
    // thread ends, so that the end can be waited for.
    const uintptr_t thread = _beginthreadex(nullptr, 4096, &CheckThread, nullptr, 0, nullptr);
    return UniqueKernelHandle(reinterpret_cast<HANDLE>(thread));
}

bool StopCheckThread(HANDLE thread, DWORD boundMs)
{
    gStopChecks = true;
    SetEvent(gStopEvent.get());
    return WaitForSingleObject(thread, boundMs) == WAIT_OBJECT_0;
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
