// What every mail dialogue of a check shares: the connection with its line
// reader, and the steps before the first word of the protocol (the host's
// own checks, the address, the connect, TLS). Run on the check thread.
#pragma once

#include "probe_result.h"
#include "socket_table.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// A reply line keeps at most this many characters; the rest of it is read
// and dropped, so the dialogue stays in step.
inline constexpr size_t kReplyLineKept = 127;
// A reply line longer than this before its line feed counts as no reply.
inline constexpr size_t kReplyLineLimit = 4096;

// How much one recv may take: more than any reply line of a sound server, so
// that a reply comes in one call; what arrives beyond the line waits in the
// connection for the next one.
inline constexpr size_t kReceiveRoom = 512;

// One check's connection. The socket belongs to the caller; the bytes that
// arrived beyond the last line taken belong to the connection, so that the
// next line starts with them exactly as it would have read them from the
// socket, and so does the last line taken. Once TLS is up, lines go through its session, which the
// connection ends (close_notify) before the caller closes the socket.
struct ProbeConnection {
    ProbeConnection(SocketHandle socket, const ProbeSettings& settings) : Socket(socket), Settings(settings) {}
    ProbeConnection(const ProbeConnection&) = delete;
    ProbeConnection& operator=(const ProbeConnection&) = delete;
    ~ProbeConnection() { EndTlsSession(); }

    void EndTlsSession()
    {
        if (Tls != nullptr)
            Settings.Sockets->EndTlsSession(std::exchange(Tls, nullptr), Socket);
    }

    SocketHandle Socket;
    const ProbeSettings& Settings;
    TlsSession* Tls = nullptr;
    char Received[kReceiveRoom];
    size_t Next = 0;  // the first byte not yet taken
    size_t End = 0;   // one past the last byte received
    // The line that ReceiveLine returned last, until the next one.
    char Reply[kReplyLineKept + 1] = {};
};

// Why a read ended: the dialogue's text for a missing reply depends on it.
enum class Arrival {
    Complete,
    Closed,    // the server closed or reset the connection
    TimedOut,  // the deadline passed (or the monitor is ending)
    TooLong,   // more bytes than the reply may have
};

// The text of a reply that did not come: the step's own text when the
// server closed, otherwise what held it up.
const char* MissingReplyText(Arrival why, const char* closedText);

// The status text of a TLS start that did not come to Established.
const char* TlsFailureText(TlsOutcome outcome);

// The text and its CR LF in one send (one record once TLS is up); a short
// send is completed.
void SendLine(ProbeConnection& connection, std::string_view text);

// The next reply line without CR and LF, in the connection's reply buffer,
// or null when no complete line came (closed, failed, too slow, too long),
// and why, in `why` when given.
const char* ReceiveLine(ProbeConnection& connection, Arrival* why = nullptr);
const char* ReceiveLineBefore(ProbeConnection& connection, Deadline deadline, Arrival* why = nullptr);

// The bound of one step, from now.
Deadline BoundFromNow(const ProbeSettings& settings);

// The next reply line as ReceiveLine reads it, but all of it before the
// given deadline, keeping up to `keep` characters in `kept` (which has room
// for them and a NUL).
Arrival ReceiveLineInto(ProbeConnection& connection, char* kept, size_t keep, Deadline deadline);

// The next byte as it comes, before the deadline.
Arrival ReceiveByte(ProbeConnection& connection, char& byte, Deadline deadline);

// Exactly `count` bytes as they come, CR and LF included, before the
// deadline; the first `keep` of them in `bytes`, the rest read and dropped.
Arrival ReceiveBytes(ProbeConnection& connection, size_t count, std::string& bytes, size_t keep, Deadline deadline);

// Whether the text after a reply's status word ("-ERR", "NO") opens with
// this response code in brackets, in any case, alone or followed by its
// arguments after a "/" or a space.
bool HasResponseCode(std::string_view afterStatus, std::string_view code);

// The server's own words as a result carries them: control bytes as spaces,
// trimmed and cut to kServerTextKept characters; empty when nothing is left.
std::string ServerOwnWords(std::string_view text);

bool StartsWithNoCase(const char* line, const char* prefix);

// A CR or LF in a configured value would end the command early and let the
// rest of the value pass as a command of its own.
bool HasLineBreak(const std::string& text);

// The progress text, reported to whoever listens.
void ShowProgress(const ProbeSettings& settings, const char* text);

// The result made Unknown with this status text, the debug line traced.
ProbeResult& Fail(ProbeResult& result, const char* debugLine, const char* text);

// The host's own checks (password, security mode, protocol, sign-in, port):
// false, with the failure in `result`, for a host that must not be
// contacted as it is stored.
bool HostMayBeContacted(const HostConfig& host, ProbeResult& result);

// The port of the host's server: its own, or the usual one of its protocol
// and mode. For a host that HostMayBeContacted passed.
uint16_t ServerPort(const HostConfig& host);

// The addresses of a host that HostMayBeContacted passed and the connect to
// the first that answers, on ServerPort, with the progress texts on the way:
// the connected socket, or none with the failure in `result`.
UniqueSocket ConnectToHost(const HostConfig& host, const ProbeSettings& settings, ProbeResult& result);

// An access token from the settings' source (`renew` after the server
// refused the last one) into `token`; false, with the failure in `result`,
// when the source gave none.
bool TakeAccessToken(const ProbeSettings& settings, bool renew, std::string& token, ProbeResult& result);

// What a server made of one access token.
enum class TokenVerdict {
    Accepted,
    Refused,  // as a token that has expired: worth one more try with a renewed one
    Failed,   // anything else, with the failure in the result
};

// Signs in with the token by `attempt`, and once more with a renewed token
// when the server refuses it: true once the server accepts one, false with
// the failure in `result` (a second refusal: the sign-in has expired).
// Nothing is sent unless the connection is in TLS.
bool SignInWithToken(ProbeConnection& connection, std::string token, ProbeResult& result,
                     const std::function<TokenVerdict(const std::string& token)>& attempt);

// TLS on the connection; false, with the failure in `result`, when it could
// not be made, or when bytes already wait in the connection (they would
// pass for the server's inside the session). Nothing of the host's goes out
// before this is true.
bool SecureConnection(ProbeConnection& connection, const HostConfig& host, ProbeResult& result);
