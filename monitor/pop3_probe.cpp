// The POP3 dialogue of one check: USER, PASS, STAT, QUIT, and the verdict
// whether the mailbox holds anything.
#include "pop3_probe.h"

#include "debug_trace.h"

#include <string>

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

} // namespace

void SendLine(ProbeConnection& connection, const char* text)
{
    // Text and CR LF in one send: sent apart, Nagle's rule holds the CR LF
    // until the server's delayed ACK, and every command waits for that.
    const std::string line = std::string(text) + "\r\n";
    const ProbeSockets& sockets = *connection.Settings.Sockets;
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
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(settings.BoundMs);
    size_t kept = 0;
    for (size_t seen = 0;; ++seen) {
        if (connection.Next == connection.End) {
            const int received =
                settings.Sockets->ReceiveBefore(connection.Socket, connection.Received, kReceiveRoom, deadline,
                                                settings.Stop);
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
    const ProbeSockets& sockets = *settings.Sockets;
    UniqueSocket socket(sockets.OpenStreamSocket(), sockets.CloseSocket);
    if (!socket) {
        DebugTrace("- Failed to create socket");
        host.StatusText = kNoSocketText;
        return Unknown;
    }

    ShowProgress(host, kGettingAddressText, settings);
    // The name service may answer an empty name with this machine's own
    // address, and whatever listens there would be sent the password.
    if (host.Name.empty())
        return Fail(host, "- Bogus address", kNoSuchHostText);
    uint32_t address;
    if (const std::optional<uint32_t> found = sockets.LookUpHostName(host.Name.c_str())) {
        address = *found;
    } else {
        DebugTrace("gethostbyname failed");
        address = sockets.ParseDottedQuad(host.Name.c_str());
        if (address == kBogusAddress)
            return Fail(host, "- Bogus address", kNoSuchHostText);
    }

    ShowProgress(host, kConnectingText, settings);
    const int connected = sockets.ConnectWithin(socket.get(), address, settings.Port, settings.BoundMs, settings.Stop);
    if (connected != 0) {
        DebugTrace(" - Connect failed: %d", connected);
        host.StatusText = kConnectFailedText;
        return Unknown;
    }

    ShowProgress(host, kQueryingText, settings);
    ProbeConnection connection(socket.get(), settings);
    const char* line = ReceiveLine(connection);
    if (line == nullptr)
        return Fail(host, "- Disconnected after connect!", kDisconnectImmediateText);
    if (!StartsWithNoCase(line, "+OK"))
        return Fail(host, "- Server rejected connect!", kRejectedConnectText);

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
    socket.reset();

    if (line[4] == '0') {
        host.StatusText = kNoNewMailText;
        return NoMail;
    }
    host.StatusText = kNewMailText;
    return NewMail;
}
