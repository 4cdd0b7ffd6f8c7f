// The check thread on the real system, and the main thread's side of the
// reload handshake. The rules themselves live in scheduler_rules.cpp.
#include "check_scheduler.h"

#include "access_tokens.h"
#include "monitor_config.h"
#include "monitor_state.h"
#include "probe.h"
#include "provider_http.h"
#include "token_store.h"

#include <windows.h>
#include <process.h>

namespace {

// Milliseconds that neither wrap nor go back, as a token's expiry needs:
// GetTickCount wraps after 49.7 days, and GetTickCount64 is newer than the
// Windows that the programs are built for. The counter is split before the
// scaling, so that no uptime overflows it.
int64_t MonotonicMs()
{
    LARGE_INTEGER count{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart / frequency.QuadPart * 1000 + count.QuadPart % frequency.QuadPart * 1000 / frequency.QuadPart;
}

// The provider's request is bounded step by step as the server's are, so
// that it cannot hold the check longer than a server could.
TokenProviderHooks SystemTokenProviderHooks(int32_t hostIndex, int boundMs)
{
    return TokenProviderHooks{
        [boundMs](std::string_view url, std::string_view formBody) { return PostForm(url, formBody, boundMs); },
        &MonotonicMs,
        [hostIndex](const HostConfig& host) { return StoreRefreshToken(host, hostIndex); },
    };
}

}  // namespace

CheckHooks SystemCheckHooks()
{
    return CheckHooks{
        [] { return static_cast<uint32_t>(GetTickCount()); },
        [](uint32_t milliseconds) { WaitForSingleObject(gStopEvent.get(), milliseconds); },
        // The 30-second bound and the real sockets: only the progress report,
        // the stop and an OAuth host's tokens are the program's own.
        [](HostEntry& host, const ProgressReport& progress) {
            ProbeSettings settings{.Progress = progress, .Stop = &gStopChecks};
            if (host.Auth == OAuthSignIn) {
                settings.AccessToken = [&host,
                                        hooks = SystemTokenProviderHooks(host.Index, settings.BoundMs)](bool renew) {
                    return HostAccessToken(host, host.CachedToken, renew, hooks);
                };
            }
            return GuessState(host, settings);
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
