// The POP3 dialogue of one check: the connection (in TLS from the start, or
// after STLS, or plain), USER, PASS, STAT, QUIT, and the verdict whether the
// mailbox holds anything.
#include "pop3_probe.h"

#include "debug_trace.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Used by the check thread alone.
char ReplyBuffer[kReplyLineKept + 1];

bool StartsWithNoCase(const char* line, const char* prefix)
{
    for (; *prefix != '\0'; ++line, ++prefix) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(*line) != lower(*prefix))
            return false;
    }
    return true;
}

// A CR or LF in a configured value would end the command early and let the
// rest of the value pass as a command of its own.
bool HasLineBreak(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

void ShowProgress(HostEntry& host, const char* text, const ProbeSettings& settings)
{
    host.StatusText = text;
    if (settings.PostStatus != nullptr)
        settings.PostStatus(host.Index);
}

int32_t Fail(HostEntry& host, const char* debugLine, const char* text)
{
    DebugTrace("%s", debugLine);
    host.StatusText = text;
    return Unknown;
}

// Sends "VERB value" unless the value would smuggle in another command.
bool SendCommand(ProbeConnection& connection, const char* verb, const std::string& value)
{
    if (HasLineBreak(value))
        return false;
    SendLine(connection, (std::string(verb) + ' ' + value).c_str());
    return true;
}

Deadline BoundFromNow(const ProbeSettings& settings)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(settings.BoundMs);
}

// The host's addresses in turn, all within the one bound. Each address but
// the last may use only its share of what is left, so that one that never
// answers (a dead IPv6 route, say) still leaves time for the next. The
// socket of the first that connects, or none, with the status text set.
UniqueSocket ConnectToAny(HostEntry& host, const std::vector<ServerAddress>& addresses,
                          const ProbeSettings& settings)
{
    const ProbeSockets& sockets = *settings.Sockets;
    const Deadline deadline = BoundFromNow(settings);
    bool opened = false;
    for (size_t i = 0; i < addresses.size(); ++i) {
        UniqueSocket socket(sockets.OpenStreamSocket(addresses[i].Family), sockets.CloseSocket);
        if (!socket)
            continue;
        opened = true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int share = static_cast<int>(std::max<int64_t>(left.count(), 0) / static_cast<int64_t>(addresses.size() - i));
        const int connected = sockets.ConnectWithin(socket.get(), addresses[i], share, settings.Stop);
        if (connected == 0)
            return socket;
        DebugTrace(" - Connect failed: %d", connected);
        if (settings.Stop != nullptr && settings.Stop->load())
            break;
    }
    if (!opened) {
        DebugTrace("- Failed to create socket");
        host.StatusText = kNoSocketText;
    } else {
        host.StatusText = kConnectFailedText;
    }
    return UniqueSocket(kNoSocket, sockets.CloseSocket);
}

// TLS on the connection; false, with the host's status text set, when it
// could not be made. Nothing of the host's goes out before this is true.
bool SecureConnection(ProbeConnection& connection, HostEntry& host)
{
    const ProbeSettings& settings = connection.Settings;
    TlsSession* session = nullptr;
    const TlsOutcome outcome = settings.Sockets->StartTlsSession(connection.Socket, host.Name.c_str(),
                                                          BoundFromNow(settings), settings.Stop, &session);
    if (outcome != TlsOutcome::Established) {
        DebugTrace("- TLS failed: %d", static_cast<int>(outcome));
        host.StatusText = TlsFailureText(outcome);
        return false;
    }
    connection.Tls = session;
    return true;
}

// RFC 2595's STLS, then TLS. Whatever the server sent after its "+OK" and
// before the handshake is no reply to anything: taking it as one (or as TLS
// data) would let a man in the middle speak for the server inside the
// secure session, so it fails the check.
bool StartTlsOnPlainConnection(ProbeConnection& connection, HostEntry& host)
{
    SendLine(connection, "STLS");
    const char* line = ReceiveLine(connection);
    if (line == nullptr || !StartsWithNoCase(line, "+OK")) {
        Fail(host, "- Server rejected STLS!", kNoStartTlsText);
        return false;
    }
    if (connection.Next != connection.End) {
        Fail(host, "- Bytes after STLS reply!", kNoSecureConnectionText);
        return false;
    }
    return SecureConnection(connection, host);
}

} // namespace

const char* TlsFailureText(TlsOutcome outcome)
{
    switch (outcome) {
    case TlsOutcome::NotTrusted:
        return kCertificateUntrustedText;
    case TlsOutcome::Expired:
        return kCertificateExpiredText;
    case TlsOutcome::NameMismatch:
        return kCertificateNameText;
    default:
        return kNoSecureConnectionText;
    }
}

void SendLine(ProbeConnection& connection, const char* text)
{
    // Text and CR LF in one send: sent apart, Nagle's rule holds the CR LF
    // until the server's delayed ACK, and every command waits for that.
    const std::string line = std::string(text) + "\r\n";
    const ProbeSockets& sockets = *connection.Settings.Sockets;
    if (connection.Tls != nullptr) {
        sockets.SendSecure(connection.Tls, connection.Socket, line.data(), line.size());
        return;
    }
    for (size_t sent = 0; sent < line.size();) {
        const int taken = sockets.SendBytes(connection.Socket, line.data() + sent, line.size() - sent);
        // A failed send shows up as a missing reply at the next read.
        if (taken <= 0)
            return;
        sent += static_cast<size_t>(taken);
    }
}

const char* ReceiveLine(ProbeConnection& connection)
{
    const ProbeSettings& settings = connection.Settings;
    const Deadline deadline = BoundFromNow(settings);
    size_t kept = 0;
    for (size_t seen = 0;; ++seen) {
        if (connection.Next == connection.End) {
            const int received =
                connection.Tls != nullptr
                    ? settings.Sockets->ReceiveSecure(connection.Tls, connection.Socket, connection.Received,
                                                      kReceiveRoom, deadline, settings.Stop)
                    : settings.Sockets->ReceiveBefore(connection.Socket, connection.Received, kReceiveRoom,
                                                      deadline, settings.Stop);
            if (received <= 0)
                return nullptr;
            connection.Next = 0;
            connection.End = static_cast<size_t>(received);
        }
        const char byte = connection.Received[connection.Next++];
        if (byte == '\n') {
            ReplyBuffer[kept] = '\0';
            return ReplyBuffer;
        }
        if (seen == kReplyLineLimit)
            return nullptr;
        if (byte != '\r' && kept < kReplyLineKept)
            ReplyBuffer[kept++] = byte;
    }
}

int32_t GuessState(HostEntry& host, const ProbeSettings& settings)
{
    DebugTrace("- GuessState: [%s]", host.Name.c_str());
    // Not even a connection: nothing of this host's may reach a server that
    // its stored password was not saved for.
    if (host.PasswordLost)
        return Fail(host, "- Password cannot be opened", kPasswordLostText);
    // A value that this version cannot honour must not be guessed at: a
    // password meant for TLS would otherwise go out in the clear.
    if (host.Security < NoSecurity || host.Security > SslTls)
        return Fail(host, "- Unsupported security setting", kUnsupportedSecurityText);
    if (host.Port < 0 || host.Port > 65535)
        return Fail(host, "- Invalid server port", kInvalidPortText);
    const auto port = static_cast<uint16_t>(host.Port != 0 ? host.Port : DefaultPort(host.Security));

    ShowProgress(host, kGettingAddressText, settings);
    // The name service may answer an empty name with this machine's own
    // address, and whatever listens there would be sent the password.
    if (host.Name.empty())
        return Fail(host, "- Bogus address", kNoSuchHostText);
    const std::vector<ServerAddress> addresses = settings.Sockets->ResolveHost(host.Name.c_str(), port);
    if (addresses.empty())
        return Fail(host, "- Bogus address", kNoSuchHostText);

    ShowProgress(host, kConnectingText, settings);
    UniqueSocket socket = ConnectToAny(host, addresses, settings);
    if (!socket)
        return Unknown;

    ShowProgress(host, kQueryingText, settings);
    ProbeConnection connection(socket.get(), settings);
    if (host.Security == SslTls && !SecureConnection(connection, host))
        return Unknown;
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
