// The monitor's hosts at run time: each configured host with what its
// checks found, in the table that the check thread and the main thread
// share. Portable: no Windows headers.
#pragma once

#include "access_tokens.h"
#include "host_records.h"
#include "probe.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// An array, not a pointer to a literal: one object, so one address in every
// file, which a test may compare.
inline constexpr char kNotTriedYetText[] = "Haven't tried to contact server yet.";

// What a host's NewMessages holds while no check has told the count.
inline constexpr int32_t kUnknownMessageCount = -1;

// Every host whose delay in milliseconds does not exceed this is due at the
// check thread's first tick after a load.
inline constexpr int64_t kInitialElapsedMs = 0x20000000;

inline constexpr size_t kServerTextSlots = 4;

// Where a server's own words live while StatusText points at them. Each slot
// is written once, by the check thread, before StatusText points at it, and
// is never written again while the entry lives, so the main thread may read
// it at any time; a server that keeps changing its words gets a slot per
// distinct text until they run out.
struct ServerTexts {
    char Slots[kServerTextSlots][kServerTextKept + 1] = {};
    size_t Used = 0;  // the check thread's alone
};

// The check thread writes State, StatusText, ElapsedMs, NextTryMs and
// NewMessages of the host it visits while the main thread reads them, hence
// the atomics.
// StatusText points at a string literal or at one of the entry's
// ServerTexts, never at anything freed before the entry.
struct HostEntry : HostConfig {
    std::atomic<int32_t> State{Unknown};
    std::atomic<const char*> StatusText{kNotTriedYetText};
    std::atomic<int64_t> ElapsedMs{kInitialElapsedMs};
    // While the server keeps refusing the login: the sleeping time after the
    // last check at which the next one is due, in milliseconds; 0 when the
    // host's own delay holds. The menu line tells when that is.
    std::atomic<int64_t> NextTryMs{0};
    // The message count of the last check that told one, for the
    // notification's text; kUnknownMessageCount before that.
    std::atomic<int32_t> NewMessages{kUnknownMessageCount};
    int32_t Index = 0;
    // What every text of the monitor names the host by (its menu line, the
    // new-mail texts): HostLabel among the table's hosts. Set by
    // FillHostTable and never changed while the entry lives, so that the
    // main thread reads it without a lock.
    std::string Label;
    // The check thread's alone: kept from one check to the next.
    int32_t ServerMinimumDelay = 0;  // seconds; the server's LOGIN-DELAY while it announces one
    int32_t LoginRefusals = 0;       // refused logins since the last one that succeeded
    // The OAuth sign-in has expired: only a new sign-in in the setup program
    // helps, and its save reloads the table, which starts the entry anew.
    bool SignInExpired = false;
    // An OAuth host's access token, kept from one check to the next; a
    // reload starts without one.
    AccessTokenCache CachedToken;
    ServerTexts OwnTexts;
};

// The monitor's hosts in stored order. Filled only by FillHostTable.
struct HostTable {
    std::unique_ptr<HostEntry[]> Entries;
    std::atomic<int32_t> Count{0};
    // Counts the fills, so that what was built from the table (the tray
    // menu) can tell that its index i no longer means the same host. Only
    // the thread that fills the table reads it.
    uint32_t Generation = 0;

    HostEntry& operator[](int32_t index) { return Entries[index]; }
};

// Replaces the table's hosts by these, each entry in its initial runtime
// state with its own index and label; no hosts leave no array. The count is 0 from the
// first step until every new entry is complete, so that whoever reads up to
// the count meanwhile (the tray menu, while a reload's box is open) finds no
// half-filled entry.
void FillHostTable(HostTable& table, std::vector<HostConfig> hosts);

// The greatest state of all hosts; Unknown for a table without hosts.
MailState OverallState(HostTable& table);

// The server's own words, as a check returned them, in one of the host's
// slots (the slot that holds the same words already, or the next free one):
// what StatusText may point at. Null when there are no words or every slot
// holds other words. Check thread only.
const char* KeepServerText(HostEntry& host, std::string_view words);
