// The program's table: the system's sockets and its TLS engine.
#include "socket_table.h"

const ProbeSockets& SystemSockets()
{
    static constexpr ProbeSockets sockets{
        &OpenStreamSocket, &CloseSocket,     &ResolveHost, &ConnectWithin, &SendBytes,
        &ReceiveBefore,    &StartTlsSession, &SendSecure,  &ReceiveSecure, &EndTlsSession,
    };
    return sockets;
}
