// The POP3 probe: one check of one host, run on the check thread.
#pragma once

#include "host_records.h"
#include "probe_socket.h"

#include <cstdint>

// Status texts. Arrays, so that each text has one address in the whole
// program: the main thread may read the entry's text while the check thread
// replaces it, and only ever sees one of these objects.
inline constexpr char kPasswordLostText[] = "Password must be entered again!";
inline constexpr char kNoSocketText[] = "Unable to create socket!";
inline constexpr char kGettingAddressText[] = "Getting network address...";
inline constexpr char kNoSuchHostText[] = "No such host.";
inline constexpr char kConnectingText[] = "Connecting to server...";
inline constexpr char kConnectFailedText[] = "Unable to connect to server!";
inline constexpr char kQueryingText[] = "Querying for mail...";
inline constexpr char kDisconnectImmediateText[] = "Server disconnect: immediate!";
inline constexpr char kRejectedConnectText[] = "Server rejected connect!";
inline constexpr char kDisconnectAfterUserText[] = "Server disconnect: after USER command!";
inline constexpr char kRejectedUserText[] = "Server rejected USER info - invalid USER name?";
inline constexpr char kDisconnectAfterPassText[] = "Server disconnect: after PASS command!";
inline constexpr char kRejectedPassText[] = "Server rejected PASS info - wrong password?";
inline constexpr char kRejectedStatText[] = "Server rejected STAT cmd - non-POP3 server?";
inline constexpr char kNoNewMailText[] = "No new mail.";
inline constexpr char kNewMailText[] = "New mail waiting!";

// A reply line keeps at most this many characters; the rest of it is read
// and dropped, so the dialogue stays in step.
inline constexpr size_t kReplyLineKept = 127;
// A reply line longer than this before its line feed counts as no reply.
inline constexpr size_t kReplyLineLimit = 4096;

struct ProbeSettings {
    uint16_t Port = 110;
    // Bound on the connect, and on each reply line as a whole.
    int BoundMs = 30000;
    // Tells the main thread that the host's progress text changed; the
    // program posts UM_NEWSTATUS with the host's index here.
    void (*PostStatus)(int32_t hostIndex) = nullptr;
    // Where the dialogue's bytes go and come from.
    const ProbeSockets* Sockets = &kSystemSockets;
    // Once set, a connect or reply still awaited fails at once: the monitor
    // is ending and waits for this check.
    const std::atomic<bool>* Stop = nullptr;
};

// How much one recv may take: more than any reply line of a sound server, so
// that a reply comes in one call; what arrives beyond the line waits in the
// connection for the next one.
inline constexpr size_t kReceiveRoom = 512;

// One check's connection. The socket belongs to the caller; the bytes that
// arrived beyond the last line taken belong to the connection, so that the
// next line starts with them exactly as it would have read them from the
// socket.
struct ProbeConnection {
    ProbeConnection(SocketHandle socket, const ProbeSettings& settings) : Socket(socket), Settings(settings) {}

    SocketHandle Socket;
    const ProbeSettings& Settings;
    char Received[kReceiveRoom];
    size_t Next = 0;  // the first byte not yet taken
    size_t End = 0;   // one past the last byte received
};

// Runs the whole dialogue for the host and returns its new MailState (-1, 0
// or 1); leaves the matching status text in the entry. The program passes
// its own settings (check_scheduler.cpp); a test passes a shorter bound,
// another port or a scripted peer in place of the sockets.
int32_t GuessState(HostEntry& host, const ProbeSettings& settings);

// The text and its CR LF in one send; a short send is completed.
void SendLine(ProbeConnection& connection, const char* text);

// The next reply line without CR and LF, in the monitor's one reply buffer,
// or null when no complete line came (closed, failed, too slow, too long).
const char* ReceiveLine(ProbeConnection& connection);
