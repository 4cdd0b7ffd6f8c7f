// The POP3 dialogue of one check: USER, PASS, STAT, QUIT, and the verdict
// whether the mailbox holds anything.
#include "pop3_probe.h"

#include "debug_trace.h"

#include <string>

ProbeSettings gProbeSettings;

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

void ShowProgress(HostEntry& host, const char* text)
{
    host.StatusText = text;
    if (gProbeSettings.PostStatus != nullptr)
        gProbeSettings.PostStatus(host.Index);
}

int32_t Fail(HostEntry& host, const char* debugLine, const char* text)
{
    DebugTrace("%s", debugLine);
    host.StatusText = text;
    return Unknown;
}

// Sends "VERB value" unless the value would smuggle in another command.
bool SendCommand(SocketHandle socket, const char* verb, const std::string& value)
{
    if (HasLineBreak(value))
        return false;
    SendLine(socket, (std::string(verb) + ' ' + value).c_str());
    return true;
}

} // namespace

void SendLine(SocketHandle socket, const char* text)
{
    const ProbeSockets& sockets = *gProbeSettings.Sockets;
    sockets.SendBytes(socket, text, std::char_traits<char>::length(text));
    sockets.SendBytes(socket, "\r\n", 2);
}

const char* ReceiveLine(SocketHandle socket)
{
    const ProbeSockets& sockets = *gProbeSettings.Sockets;
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(gProbeSettings.BoundMs);
    size_t kept = 0;
    for (size_t seen = 0;; ++seen) {
        char byte;
        if (sockets.ReceiveByteBefore(socket, &byte, deadline) <= 0)
            return nullptr;
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

int32_t GuessState(HostEntry& host)
{
    DebugTrace("- GuessState: [%s]", host.Name.c_str());
    const ProbeSockets& sockets = *gProbeSettings.Sockets;
    UniqueSocket socket(sockets.OpenStreamSocket(), sockets.CloseSocket);
    if (!socket) {
        DebugTrace("- Failed to create socket");
        host.StatusText = kNoSocketText;
        return Unknown;
    }

    ShowProgress(host, kGettingAddressText);
    uint32_t address;
    if (const std::optional<uint32_t> found = sockets.LookUpHostName(host.Name.c_str())) {
        address = *found;
    } else {
        DebugTrace("gethostbyname failed");
        address = sockets.ParseDottedQuad(host.Name.c_str());
        if (address == kBogusAddress)
            return Fail(host, "- Bogus address", kNoSuchHostText);
    }

    ShowProgress(host, kConnectingText);
    const int connected = sockets.ConnectWithin(socket.get(), address, gProbeSettings.Port, gProbeSettings.BoundMs);
    if (connected != 0) {
        DebugTrace(" - Connect failed: %d", connected);
        host.StatusText = kConnectFailedText;
        return Unknown;
    }

    ShowProgress(host, kQueryingText);
    const char* line = ReceiveLine(socket.get());
    if (line == nullptr)
        return Fail(host, "- Disconnected after connect!", kDisconnectImmediateText);
    if (!StartsWithNoCase(line, "+OK"))
        return Fail(host, "- Server rejected connect!", kRejectedConnectText);

    if (!SendCommand(socket.get(), "USER", host.UserID))
        return Fail(host, "- Server rejected USER info!", kRejectedUserText);
    line = ReceiveLine(socket.get());
    if (line == nullptr)
        return Fail(host, "- Disconnected after sending user info!", kDisconnectAfterUserText);
    if (!StartsWithNoCase(line, "+OK"))
        return Fail(host, "- Server rejected USER info!", kRejectedUserText);

    if (!SendCommand(socket.get(), "PASS", host.Password))
        return Fail(host, "- Server rejected PASS info!", kRejectedPassText);
    line = ReceiveLine(socket.get());
    if (line == nullptr)
        return Fail(host, "- Disconnected after sending password!", kDisconnectAfterPassText);
    if (!StartsWithNoCase(line, "+OK"))
        return Fail(host, "- Server rejected PASS info!", kRejectedPassText);

    SendLine(socket.get(), "STAT");
    line = ReceiveLine(socket.get());
    if (line == nullptr || !StartsWithNoCase(line, "+OK "))
        return Fail(host, "- Server rejected STAT info!", kRejectedStatText);

    // The answer to QUIT tells nothing; waiting for it would only let a slow
    // server hold the check.
    SendLine(socket.get(), "QUIT");
    socket.reset();

    if (line[4] == '0') {
        host.StatusText = kNoNewMailText;
        return NoMail;
    }
    host.StatusText = kNewMailText;
    return NewMail;
}
