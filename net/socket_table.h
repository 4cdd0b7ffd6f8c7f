// The table through which a mail dialogue reaches the network: the socket
// calls (probe_socket.h) and TLS's (tls_session.h). It sits above both, so
// that the TLS channel calls the socket layer and nothing calls back up.
#pragma once

#include "probe_socket.h"
#include "tls_session.h"

// The calls as a table, which is how a dialogue reaches them: the program
// always uses SystemSockets(), a fuzz target or test a scripted peer held in
// memory. One indirect call is nothing beside a system call.
struct ProbeSockets {
    SocketHandle (*OpenStreamSocket)(int family);
    void (*CloseSocket)(SocketHandle socket);
    std::vector<ServerAddress> (*ResolveHost)(const char* name, uint16_t port);
    int (*ConnectWithin)(SocketHandle socket, const ServerAddress& address, int boundMs, const std::atomic<bool>* stop);
    int (*SendBytes)(SocketHandle socket, const char* bytes, size_t count);
    int (*ReceiveBefore)(SocketHandle socket, char* bytes, size_t room, Deadline deadline,
                         const std::atomic<bool>* stop);
    TlsOutcome (*StartTlsSession)(SocketHandle socket, const char* hostName, Deadline deadline,
                                  const std::atomic<bool>* stop, TlsSession** session);
    int (*SendSecure)(TlsSession* session, SocketHandle socket, const char* bytes, size_t count);
    int (*ReceiveSecure)(TlsSession* session, SocketHandle socket, char* bytes, size_t room, Deadline deadline,
                         const std::atomic<bool>* stop);
    void (*EndTlsSession)(TlsSession* session, SocketHandle socket);
};

// The table of the real calls.
const ProbeSockets& SystemSockets();
