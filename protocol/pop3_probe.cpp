// The POP3 dialogue of one check: the connection (in TLS from the start, or
// after STLS, or plain), USER, PASS, STAT, QUIT, and the verdict whether the
// mailbox holds anything.
#include "pop3_probe.h"

#include "debug_trace.h"
#include "imap_probe.h"

#include <string>

namespace {

// Sends "VERB value" unless the value would smuggle in another command.
bool SendCommand(ProbeConnection& connection, const char* verb, const std::string& value)
{
    if (HasLineBreak(value))
        return false;
    SendLine(connection, std::string(verb) + ' ' + value);
    return true;
}

// RFC 2595's STLS, then TLS.
bool StartTlsOnPlainConnection(ProbeConnection& connection, HostEntry& host)
{
    SendLine(connection, "STLS");
    const char* line = ReceiveLine(connection);
    if (line == nullptr || !StartsWithNoCase(line, "+OK")) {
        Fail(host, "- Server rejected STLS!", kNoStartTlsText);
        return false;
    }
    return SecureConnection(connection, host);
}

} // namespace

int32_t GuessState(HostEntry& host, const ProbeSettings& settings)
{
    DebugTrace("- GuessState: [%s]", host.Name.c_str());
    UniqueSocket socket = ConnectToHost(host, settings);
    if (!socket)
        return Unknown;

    ShowProgress(host, kQueryingText, settings);
    ProbeConnection connection(socket.get(), settings);
    if (host.Security == SslTls && !SecureConnection(connection, host))
        return Unknown;
    if (host.Protocol == Imap)
        return ImapDialogue(connection, host);
    const char* line = ReceiveLine(connection);
    if (line == nullptr)
        return Fail(host, "- Disconnected after connect!", kDisconnectImmediateText);
    if (!StartsWithNoCase(line, "+OK"))
        return Fail(host, "- Server rejected connect!", kRejectedConnectText);
    // POP3 sends no second greeting after STLS: USER comes next.
    if (host.Security == StartTls && !StartTlsOnPlainConnection(connection, host))
        return Unknown;

    if (!SendCommand(connection, "USER", host.UserID))
        return Fail(host, "- Server rejected USER info!", kRejectedUserText);
    line = ReceiveLine(connection);
    if (line == nullptr)
        return Fail(host, "- Disconnected after sending user info!", kDisconnectAfterUserText);
    if (!StartsWithNoCase(line, "+OK"))
        return Fail(host, "- Server rejected USER info!", kRejectedUserText);

    if (!SendCommand(connection, "PASS", host.Password))
        return Fail(host, "- Server rejected PASS info!", kRejectedPassText);
    line = ReceiveLine(connection);
    if (line == nullptr)
        return Fail(host, "- Disconnected after sending password!", kDisconnectAfterPassText);
    if (!StartsWithNoCase(line, "+OK"))
        return Fail(host, "- Server rejected PASS info!", kRejectedPassText);

    SendLine(connection, "STAT");
    line = ReceiveLine(connection);
    if (line == nullptr || !StartsWithNoCase(line, "+OK "))
        return Fail(host, "- Server rejected STAT info!", kRejectedStatText);

    // The answer to QUIT tells nothing; waiting for it would only let a slow
    // server hold the check.
    SendLine(connection, "QUIT");
    connection.EndTlsSession();
    socket.reset();

    if (line[4] == '0') {
        host.StatusText = kNoNewMailText;
        return NoMail;
    }
    host.StatusText = kNewMailText;
    return NewMail;
}
