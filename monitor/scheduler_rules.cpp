// The check thread's rules; see scheduler_rules.h.
#include "scheduler_rules.h"

#include "control_messages.h"

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

uint32_t TakeReloadRequest(ReloadSignals& reload, const CheckHooks& hooks, uint32_t tickMs)
{
    if (!reload.Requested.load())
        return tickMs;
    // Cleared before the pause: a request that arrives from now on belongs to
    // a later tick, and this reload loads the newest configuration anyway.
    reload.Requested = false;
    reload.Paused = true;
    hooks.Post(UM_PAUSED, 0);
    hooks.WaitForReload();
    if (reload.Done.load()) {
        reload.Done = false;
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

void RunCheckTick(HostTable& table, ReloadSignals& reload, const CheckHooks& hooks)
{
    const uint32_t tickMs = TakeReloadRequest(reload, hooks, MeasureSleep(hooks));
    CheckDueHosts(table, tickMs, hooks);
}

void RunCheckLoop(HostTable& table, ReloadSignals& reload, const CheckHooks& hooks)
{
    for (;;)
        RunCheckTick(table, reload, hooks);
}
