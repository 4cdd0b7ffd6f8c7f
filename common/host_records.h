// The records of configured hosts that both programs hold in memory, and the
// monitor's runtime state of each host. Portable: no Windows headers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum NewMailAction : int32_t {
    Nothing = 0,
    PopUpMessageBox = 1,
    LaunchMailReader = 2,
};

// How a host's connection is secured (Host%dSecurity), in stored-value order.
enum SecurityMode : int32_t {
    NoSecurity = 0,  // plain POP3
    StartTls = 1,    // plain connect, then STLS, then TLS
    SslTls = 2,      // TLS from the first byte
};

// The mail protocol a host is checked with (Host%dProtocol), in stored-value
// order.
enum MailProtocol : int32_t {
    Pop3 = 0,
    Imap = 1,
};

// The port of a host whose stored port is 0 (or absent): POP3 110, or 995
// with SSL/TLS; IMAP 143, or 993 with SSL/TLS.
constexpr int32_t DefaultPort(int32_t security, int32_t protocol = Pop3)
{
    if (protocol == Imap)
        return security == SslTls ? 993 : 143;
    return security == SslTls ? 995 : 110;
}

// The numeric order matters: the monitor's overall state is the maximum.
enum MailState : int32_t {
    Unknown = -1,
    NoMail = 0,
    NewMail = 1,
};

struct HostConfig {
    std::string Name;
    std::string UserID;
    std::string Password;  // clear text in UTF-8; only the registry holds the protected form
    std::string MailReader;
    std::string MailWave;
    int32_t Action = Nothing;
    int32_t Delay = 0;  // seconds between two checks
    // As stored, even out of range: a check of such a host fails at once,
    // and the setup program keeps the value until the user picks another.
    int32_t Security = NoSecurity;
    int32_t Port = 0;  // 0: DefaultPort(Security, Protocol)
    int32_t Protocol = Pop3;  // as stored, like Security
    // The stored password could not be opened here (another user's or
    // machine's, or bound to another host): Password is empty, the monitor
    // sends nothing for the host, and the user must enter it again.
    bool PasswordLost = false;
};

// An array, not a pointer to a literal: one object, so one address in every
// file, which a test may compare.
inline constexpr char kNotTriedYetText[] = "Haven't tried to contact server yet.";

// Every host whose delay in milliseconds does not exceed this is due at the
// check thread's first tick after a load.
inline constexpr int64_t kInitialElapsedMs = 0x20000000;

// How a check ended beyond the state it found: what decides when the next
// one comes, and whether its result counts at all.
enum class CheckEnding : int32_t {
    Done,           // every ending not below
    LoginRefused,   // the server refused the login: the next try waits longer
    ComeBackLater,  // the server asked to be asked later: the state stands
};

// A server's own words shown as a status text ([EXPIRED], [CONTACTADMIN]),
// cut to this many characters.
inline constexpr size_t kServerTextKept = 64;
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

// The check thread writes State, StatusText, ElapsedMs and NextTryMs of the
// host it visits while the main thread reads them, hence the atomics.
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
    int32_t Index = 0;
    // The check thread's alone: written by the probe, read by the scheduler.
    CheckEnding Ending = CheckEnding::Done;
    int32_t ServerMinimumDelay = 0;  // seconds; the server's LOGIN-DELAY while it announces one
    int32_t LoginRefusals = 0;       // refused logins since the last one that succeeded
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
// state with its own index; no hosts leave no array. The count is 0 from the
// first step until every new entry is complete, so that whoever reads up to
// the count meanwhile (the tray menu, while a reload's box is open) finds no
// half-filled entry.
void FillHostTable(HostTable& table, std::vector<HostConfig> hosts);

// The greatest state of all hosts; Unknown for a table without hosts.
MailState OverallState(HostTable& table);
