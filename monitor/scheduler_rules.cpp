// The check thread's rules; see scheduler_rules.h.
#include "scheduler_rules.h"

#include "monitor_messages.h"

#include <algorithm>
#include <limits>

int64_t RefusedLoginWaitMs(int32_t delaySeconds, int32_t refusals)
{
    const int64_t delayMs = int64_t{delaySeconds} * 1000;
    int64_t wait = std::max(delayMs, int64_t{kTickSleepMs});
    // Stops doubling at the cap, so no count of refusals can overflow.
    for (int32_t doubled = 0; doubled < refusals && wait < kLongestRefusedLoginWaitMs; ++doubled)
        wait *= 2;
    return std::max(delayMs, std::min(wait, kLongestRefusedLoginWaitMs));
}

bool IsDue(int64_t elapsedMs, const HostEntry& host)
{
    if (host.SignInExpired)
        return false;
    const int64_t dueMs =
        std::max({int64_t{host.Delay} * 1000, host.NextTryMs.load(), int64_t{host.ServerMinimumDelay} * 1000});
    return elapsedMs >= dueMs;
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
    if (!hooks.Post(UM_PAUSED, 0) && reload.Paused.exchange(false)) {
        // Nobody will rebuild the table or wake this thread: carry on with
        // the old table and ask again at the next tick. Had the main thread
        // taken the pause meanwhile (a UM_PAUSED that another program
        // posted), it is rebuilding the table now and must be waited for.
        reload.Requested = true;
        return tickMs;
    }
    hooks.WaitForReload();
    if (reload.Done.load()) {
        reload.Done = false;
        return 0;
    }
    return tickMs;
}

void CheckHost(HostEntry& host, const CheckHooks& hooks)
{
    const ProbeResult result = hooks.GuessState(host, [&host, &hooks](const char* text) {
        host.StatusText = text;
        hooks.Post(UM_NEWSTATUS, host.Index);
    });
    const char* own = KeepServerText(host, result.ServerText);
    host.StatusText = own != nullptr ? own : result.StatusText;
    // A check that did not get as far as the capabilities leaves the last
    // LOGIN-DELAY standing.
    if (result.ServerMinimumDelay)
        host.ServerMinimumDelay = *result.ServerMinimumDelay;
    // Before UM_NEWMAIL, whose action tells it. A count of an earlier check
    // would be stale.
    host.NewMessages = result.NewMessages.value_or(kUnknownMessageCount);
    // Before any post: the main thread reads it to tell when the next try comes.
    host.ElapsedMs = 0;
    if (result.Ending == CheckEnding::ComeBackLater) {
        // The server has not said what the mailbox holds: announcing a change
        // would run the new-mail action again for mail already announced.
        hooks.Post(UM_NEWSTATUS, host.Index);
        return;
    }
    if (result.Ending == CheckEnding::LoginRefused) {
        if (host.LoginRefusals < std::numeric_limits<int32_t>::max())
            ++host.LoginRefusals;
        host.NextTryMs = RefusedLoginWaitMs(host.Delay, host.LoginRefusals);
    } else if (result.Ending == CheckEnding::SignInExpired) {
        // Every further try would be refused, and servers punish each one
        // with a longer delay for the next.
        host.SignInExpired = true;
        host.NextTryMs = 0;
    } else if (result.State == NoMail || result.State == NewMail) {
        host.LoginRefusals = 0;
        host.NextTryMs = 0;
    }
    if (result.State == host.State.load()) {
        hooks.Post(UM_NEWSTATUS, host.Index);
    } else {
        host.State = result.State;
        hooks.Post(UM_NEWSTATE, host.Index);
        if (result.State == NewMail)
            hooks.Post(UM_NEWMAIL, host.Index);
    }
}

void CheckDueHosts(HostTable& table, uint32_t tickMs, const std::atomic<bool>& stop, const CheckHooks& hooks)
{
    // The count is read at every step; the table itself changes only while
    // this thread waits in TakeReloadRequest.
    for (int32_t index = 0; index < table.Count.load() && !stop.load(); ++index) {
        HostEntry& host = table[index];
        const int64_t elapsed = host.ElapsedMs.load() + tickMs;
        host.ElapsedMs = elapsed;
        if (!IsDue(elapsed, host))
            continue;
        CheckHost(host, hooks);
    }
}

void RunCheckTick(HostTable& table, ReloadSignals& reload, const std::atomic<bool>& stop, const CheckHooks& hooks)
{
    const uint32_t sleptMs = MeasureSleep(hooks);
    if (stop.load())
        return;
    const uint32_t tickMs = TakeReloadRequest(reload, hooks, sleptMs);
    // Woken by the stop, not by a rebuilt table: the table is about to go.
    if (stop.load())
        return;
    CheckDueHosts(table, tickMs, stop, hooks);
}

void RunCheckLoop(HostTable& table, ReloadSignals& reload, const std::atomic<bool>& stop, const CheckHooks& hooks)
{
    while (!stop.load())
        RunCheckTick(table, reload, stop, hooks);
}
