// The records of configured hosts that both programs hold in memory, and the
// monitor's runtime state of each host. Portable: no Windows headers.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum NewMailAction : int32_t {
    Nothing = 0,
    PopUpMessageBox = 1,
    LaunchMailReader = 2,
};

// Display texts of NewMailAction, in value order.
inline constexpr const char* ActionNames[3] = {"Nothing", "Pop-up message box", "Launch mail reader"};

// How a host's connection is secured (Host%dSecurity), in stored-value order.
enum SecurityMode : int32_t {
    NoSecurity = 0,  // plain POP3
    StartTls = 1,    // plain connect, then STLS, then TLS
    SslTls = 2,      // TLS from the first byte
};

// Display texts of SecurityMode, in value order.
inline constexpr const char* SecurityNames[3] = {"None", "STARTTLS", "SSL/TLS"};

// The mail protocol a host is checked with (Host%dProtocol), in stored-value
// order.
enum MailProtocol : int32_t {
    Pop3 = 0,
    Imap = 1,
};

// Display texts of MailProtocol, in value order.
inline constexpr const char* ProtocolNames[2] = {"POP3", "IMAP"};

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
    std::string Password;  // clear text; only the registry holds the protected form
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

// The check thread writes State, StatusText and ElapsedMs of the host it
// visits while the main thread reads them, hence the atomics. StatusText
// always points at a string literal and is never freed.
struct HostEntry : HostConfig {
    std::atomic<int32_t> State{Unknown};
    std::atomic<const char*> StatusText{kNotTriedYetText};
    std::atomic<int64_t> ElapsedMs{kInitialElapsedMs};
    int32_t Index = 0;
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
