// The native build has no TLS: it runs the dialogues' tests and fuzzers,
// which bring a scripted peer with TLS of its own. A start fails as a
// refused handshake would.
#include "tls_session.h"

TlsOutcome StartTlsSession(SocketHandle, const char*, Deadline, const std::atomic<bool>*, TlsSession** session)
{
    *session = nullptr;
    return TlsOutcome::Failed;
}

int SendSecure(TlsSession*, SocketHandle, const char*, size_t)
{
    return -1;
}

int ReceiveSecure(TlsSession*, SocketHandle, char*, size_t, Deadline, const std::atomic<bool>*)
{
    return -1;
}

void EndTlsSession(TlsSession*, SocketHandle) {}
