// Where every check starts: the steps that all protocols share, then the
// dialogue of the host's protocol.
#include "probe.h"

#include "debug_trace.h"
#include "imap_probe.h"
#include "pop3_probe.h"
#include "probe_connection.h"

#include <string>
#include <utility>

ProbeResult GuessState(const HostConfig& host, const ProbeSettings& settings)
{
    DebugTrace("- GuessState: [%s]", host.Name.c_str());
    ProbeResult failure;
    if (!HostMayBeContacted(host, failure))
        return failure;
    // Before the connect: a server is not kept waiting for a provider, nor
    // contacted at all for a sign-in that cannot be made.
    std::string accessToken;
    if (host.Auth == OAuthSignIn && !TakeAccessToken(settings, false, accessToken, failure))
        return failure;
    UniqueSocket socket = ConnectToHost(host, settings, failure);
    if (!socket)
        return failure;

    ShowProgress(settings, kQueryingText);
    // After the socket, so that its TLS session ends (close_notify) before
    // the socket closes.
    ProbeConnection connection(socket.get(), settings);
    if (host.Security == SslTls && !SecureConnection(connection, host, failure))
        return failure;
    if (host.Protocol == Imap)
        return ImapDialogue(connection, host, std::move(accessToken));
    return Pop3Dialogue(connection, host, std::move(accessToken));
}
