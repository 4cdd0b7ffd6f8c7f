// The check thread's rules, free of the platform: one tick of measured sleep,
// the reload request taken at the start of a tick, the pass over the hosts
// that checks every due host and reports what changed, and the stop at exit.
// The clock, the probe, the poster and the reload wait are handed in, so that
// the rules run the same against the real system and against a test's
// stand-ins.
#pragma once

#include "host_table.h"
#include "probe.h"

#include <atomic>
#include <cstdint>
#include <functional>

// The words of the reload handshake, shared by the two threads.
struct ReloadSignals {
    // Set by the main thread on UM_NEWCONFIG, taken by the check thread at
    // the start of a tick.
    std::atomic<bool> Requested{false};
    // Set by the check thread right before it posts UM_PAUSED, taken by the
    // main thread's reload: only a pause that the check thread announced may
    // free the table, never a stray UM_PAUSED from another program.
    std::atomic<bool> Paused{false};
    // Set by the main thread once the new table is loaded, cleared by the
    // check thread after it wakes.
    std::atomic<bool> Done{false};
};

struct CheckHooks {
    std::function<uint32_t()> TickCount;  // milliseconds, wrapping at 2^32
    std::function<void(uint32_t milliseconds)> Sleep;
    // The check of one host, telling each progress text to `progress`. The
    // entry is mutable: an OAuth host's access token is kept in it.
    std::function<ProbeResult(HostEntry& host, const ProgressReport& progress)> GuessState;
    // False when the message could not be posted (a full queue, no window).
    std::function<bool(unsigned message, int32_t hostIndex)> Post;
    // Returns once the main thread has signalled, or once the stop word is
    // set. The sleep, too, ends early when the stop word is set.
    std::function<void()> WaitForReload;
};

inline constexpr uint32_t kTickSleepMs = 1000;

// However often a login is refused, the host is tried again at least this
// often, unless its own delay is longer still.
inline constexpr int64_t kLongestRefusedLoginWaitMs = 3600000;

// The wait after the given count of logins refused in a row: the host's delay
// doubled once per refusal, up to kLongestRefusedLoginWaitMs, never below the
// delay. A host checked at every tick doubles one tick.
int64_t RefusedLoginWaitMs(int32_t delaySeconds, int32_t refusals);

// A host is due once the sleeping time counted since its last check reaches
// the longest of its delay, the wait after refused logins and the server's
// LOGIN-DELAY; one whose sign-in has expired is never due. 64-bit, so that
// every 32-bit delay means what its number says.
bool IsDue(int64_t elapsedMs, const HostEntry& host);

// Sleeps one tick and returns its length; only the sleep is measured, and the
// unsigned difference survives a wrap of the tick counter.
uint32_t MeasureSleep(const CheckHooks& hooks);

// Takes a pending reload request: posts UM_PAUSED, waits until the main
// thread has rebuilt the table, and returns the tick length to count (0 after
// a completed reload, so that the new table starts exactly at its initial
// elapsed times). A pause that cannot be posted is not waited for: the
// request stays pending for the next tick.
uint32_t TakeReloadRequest(ReloadSignals& reload, const CheckHooks& hooks, uint32_t tickMs);

// Checks one host and reports: each progress text becomes the host's status
// text with a UM_NEWSTATUS; the result's text (or the server's own words,
// while the host has a slot for them) becomes it too, and the result's
// LOGIN-DELAY the host's when the check learnt one, and its message count
// the host's (kUnknownMessageCount without one). Then UM_NEWSTATUS for
// the same state, else UM_NEWSTATE and, for a change into new mail,
// UM_NEWMAIL after it. A server that asks to be asked later leaves the state
// as it was (UM_NEWSTATUS only); a refused login stretches the wait before
// the next check, and a successful one ends that wait. An expired sign-in
// ends the checks of the host until the table is loaded again.
void CheckHost(HostEntry& host, const CheckHooks& hooks);

// One pass over the table in index order, adding the tick to every host's
// elapsed time and checking the due ones; it ends before the next host once
// `stop` is set.
void CheckDueHosts(HostTable& table, uint32_t tickMs, const std::atomic<bool>& stop, const CheckHooks& hooks);

// One whole tick: sleep, reload request, pass. Nothing after the sleep or the
// reload wait runs once `stop` is set.
void RunCheckTick(HostTable& table, ReloadSignals& reload, const std::atomic<bool>& stop, const CheckHooks& hooks);

// Ticks until `stop` is set, which the main thread does when the monitor
// ends; after the return the thread touches neither the table nor the
// signals, so that both may then be released.
void RunCheckLoop(HostTable& table, ReloadSignals& reload, const std::atomic<bool>& stop, const CheckHooks& hooks);
