// TLS on a connected socket, as the POP3 dialogue needs it: the handshake,
// the server certificate's check, and records in both directions. Windows
// does it with SChannel (tls_channel.cpp); the native build has no TLS
// (tls_unavailable.cpp), so there every start fails.
#pragma once

#include "probe_socket.h"

#include <atomic>
#include <cstddef>

// What starting TLS on a connected socket came to.
enum class TlsOutcome {
    Established,
    NotTrusted,    // unknown or untrusted issuer, broken or partial chain
    Expired,       // the server certificate (or one in its chain) is past its validity period
    NotYetValid,   // the server certificate (or one in its chain) is before its validity period
    NameMismatch,  // the certificate is not for the configured host name or address
    Failed,        // anything else: handshake refused, below TLS 1.2, plain text on the port, bound passed, stopped
};

// The engine's own state of one connection.
struct TlsSession;

// The handshake on the connected socket, all of it before the deadline (and
// ended at once when `stop`, if given, is set), with hostName as the target
// name (SNI) and as the name the certificate must be for: a DNS name, or an
// IPv4 or IPv6 literal, which is compared with the certificate's IP address
// entries. Then the certificate check. On Established, *session holds the new
// session, which EndTlsSession frees; otherwise *session is null and nothing is left
// to free.
TlsOutcome StartTlsSession(SocketHandle socket, const char* hostName, Deadline deadline, const std::atomic<bool>* stop,
                           TlsSession** session);

// Encrypts all the bytes and sends them: count, or -1 on failure.
int SendSecure(TlsSession* session, SocketHandle socket, const char* bytes, size_t count);

// As ReceiveBefore, of the decrypted bytes: how many (at most room) once
// some have arrived before the deadline, 0 when the peer closed (close_notify
// or the connection's end), or -1 on failure, once the deadline has passed
// (even while records keep coming) or once `stop` is set. Decrypted bytes beyond `room` wait in the session for the
// next call.
int ReceiveSecure(TlsSession* session, SocketHandle socket, char* bytes, size_t room, Deadline deadline,
                  const std::atomic<bool>* stop);

// Sends close_notify without waiting for anything, and frees the session.
void EndTlsSession(TlsSession* session, SocketHandle socket);
