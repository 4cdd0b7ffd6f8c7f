// The check thread's rules; see scheduler_rules.h.
#include "scheduler_rules.h"

#include "control_messages.h"

std::atomic<bool> ReloadRequested{false};
std::atomic<bool> ReloadDone{false};
std::atomic<bool> ReloadPaused{false};

bool IsDue(int64_t elapsedMs, int32_t delaySeconds)
{
    return elapsedMs >= int64_t{delaySeconds} * 1000;
}

uint32_t MeasureSleep(const CheckHooks& hooks)
{
    const uint32_t before = hooks.TickCount();
    hooks.Sleep(kTickSleepMs);
    const uint32_t after = hooks.TickCount();
    return after - before;
}

uint32_t TakeReloadRequest(const CheckHooks& hooks, uint32_t tickMs)
{
    if (!ReloadRequested.load())
        return tickMs;
    // Cleared before the pause: a request that arrives from now on belongs to
    // a later tick, and this reload loads the newest configuration anyway.
    ReloadRequested = false;
    ReloadPaused = true;
    hooks.Post(UM_PAUSED, 0);
    hooks.WaitForReload();
    if (ReloadDone.load()) {
        ReloadDone = false;
        return 0;
    }
    return tickMs;
}

void CheckHost(HostEntry& host, const CheckHooks& hooks)
{
    const int32_t result = hooks.GuessState(host);
    if (result == host.State.load()) {
        hooks.Post(UM_NEWSTATUS, host.Index);
    } else {
        host.State = result;
        hooks.Post(UM_NEWSTATE, host.Index);
        if (result == NewMail)
            hooks.Post(UM_NEWMAIL, host.Index);
    }
    host.ElapsedMs = 0;
}

void CheckDueHosts(HostTable& table, uint32_t tickMs, const CheckHooks& hooks)
{
    // The count is read at every step; the table itself changes only while
    // this thread waits in TakeReloadRequest.
    for (int32_t index = 0; index < table.Count.load(); ++index) {
        HostEntry& host = table[index];
        const int64_t elapsed = host.ElapsedMs.load() + tickMs;
        host.ElapsedMs = elapsed;
        if (!IsDue(elapsed, host.Delay))
            continue;
        CheckHost(host, hooks);
    }
}

void RunCheckTick(HostTable& table, const CheckHooks& hooks)
{
    const uint32_t tickMs = TakeReloadRequest(hooks, MeasureSleep(hooks));
    CheckDueHosts(table, tickMs, hooks);
}

void RunCheckLoop(HostTable& table, const CheckHooks& hooks)
{
    for (;;)
        RunCheckTick(table, hooks);
}
