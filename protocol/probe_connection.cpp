// The steps of a check before and below its protocol's dialogue.
#include "probe_connection.h"

#include "debug_trace.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The host's addresses in turn, all within the one bound. Each address but
// the last may use only its share of what is left, so that one that never
// answers (a dead IPv6 route, say) still leaves time for the next. The
// socket of the first that connects, or none, with the failure in `result`.
UniqueSocket ConnectToAny(const std::vector<ServerAddress>& addresses, const ProbeSettings& settings,
                          ProbeResult& result)
{
    const ProbeSockets& sockets = *settings.Sockets;
    const Deadline deadline = BoundFromNow(settings);
    bool opened = false;
    for (size_t i = 0; i < addresses.size(); ++i) {
        UniqueSocket socket(sockets.OpenStreamSocket(addresses[i].Family), sockets.CloseSocket);
        if (!socket)
            continue;
        opened = true;
        const int share = MillisecondsUntil(deadline) / static_cast<int>(addresses.size() - i);
        const int connected = sockets.ConnectWithin(socket.get(), addresses[i], share, settings.Stop);
        if (connected == 0)
            return socket;
        DebugTrace(" - Connect failed: %d", connected);
        if (settings.Stop != nullptr && settings.Stop->load())
            break;
    }
    if (!opened) {
        DebugTrace("- Failed to create socket");
        result.StatusText = kNoSocketText;
    } else {
        result.StatusText = kConnectFailedText;
    }
    return UniqueSocket(kNoSocket, sockets.CloseSocket);
}

constexpr std::chrono::milliseconds kDeadlineSlack{20};

// Makes sure a byte waits in the connection's buffer, or says why none
// came. The clock is read before every receive, not only when one would
// block: a server that never stops sending must not hold the step either.
Arrival HaveByte(ProbeConnection& connection, Deadline deadline)
{
    if (connection.Next != connection.End)
        return Arrival::Complete;
    const ProbeSettings& settings = connection.Settings;
    const bool stopping = settings.Stop != nullptr && settings.Stop->load();
    if (stopping || std::chrono::steady_clock::now() >= deadline)
        return Arrival::TimedOut;
    const int received = connection.Tls != nullptr
                             ? settings.Sockets->ReceiveSecure(connection.Tls, connection.Socket, connection.Received,
                                                               kReceiveRoom, deadline, settings.Stop)
                             : settings.Sockets->ReceiveBefore(connection.Socket, connection.Received, kReceiveRoom,
                                                               deadline, settings.Stop);
    if (received <= 0) {
        // A failed wait well before the deadline is a reset: the server's
        // doing. The socket's wait counts whole milliseconds and may come
        // back a timer tick early.
        const bool late = deadline - std::chrono::steady_clock::now() < kDeadlineSlack ||
                          (settings.Stop != nullptr && settings.Stop->load());
        return received < 0 && late ? Arrival::TimedOut : Arrival::Closed;
    }
    connection.Next = 0;
    connection.End = static_cast<size_t>(received);
    return Arrival::Complete;
}

}  // namespace

Deadline BoundFromNow(const ProbeSettings& settings)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(settings.BoundMs);
}

bool StartsWithNoCase(const char* line, const char* prefix)
{
    for (; *prefix != '\0'; ++line, ++prefix) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(*line) != lower(*prefix))
            return false;
    }
    return true;
}

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

void ShowProgress(const ProbeSettings& settings, const char* text)
{
    if (settings.Progress)
        settings.Progress(text);
}

ProbeResult& Fail(ProbeResult& result, const char* debugLine, const char* text)
{
    DebugTrace("%s", debugLine);
    result.State = Unknown;
    result.StatusText = text;
    return result;
}

bool HostMayBeContacted(const HostConfig& host, ProbeResult& result)
{
    // First, since whether a password is lost depends on it: a password may
    // stand where a token was meant, and this version cannot tell.
    if (host.Auth != PasswordSignIn && host.Auth != OAuthSignIn) {
        Fail(result, "- Unsupported sign-in setting", kUnsupportedSignInText);
        return false;
    }
    // Not even a connection: nothing of this host's may reach a server that
    // its stored password was not saved for.
    if (host.PasswordLost) {
        Fail(result, "- Password cannot be opened", kPasswordLostText);
        return false;
    }
    // A value that this version cannot honour must not be guessed at: a
    // password meant for TLS would otherwise go out in the clear.
    if (host.Security < NoSecurity || host.Security > SslTls) {
        Fail(result, "- Unsupported security setting", kUnsupportedSecurityText);
        return false;
    }
    if (host.Protocol != Pop3 && host.Protocol != Imap) {
        Fail(result, "- Unsupported protocol setting", kUnsupportedProtocolText);
        return false;
    }
    if (host.Port < 0 || host.Port > 65535) {
        Fail(result, "- Invalid server port", kInvalidPortText);
        return false;
    }
    // Whoever reads a token off the wire reads the whole mailbox with it, as
    // long as it is valid, and no server can tell that it was stolen.
    if (host.Auth == OAuthSignIn && host.Security == NoSecurity) {
        Fail(result, "- No token without TLS", kSecureConnectionRequiredText);
        return false;
    }
    return true;
}

uint16_t ServerPort(const HostConfig& host)
{
    return static_cast<uint16_t>(host.Port != 0 ? host.Port : DefaultPort(host.Security, host.Protocol));
}

bool TakeAccessToken(const ProbeSettings& settings, bool renew, std::string& token, ProbeResult& result)
{
    const AccessTokenReply reply = settings.AccessToken ? settings.AccessToken(renew) : AccessTokenReply{};
    switch (reply.Outcome) {
    case AccessTokenOutcome::Token:
        token = reply.Token;
        return true;
    case AccessTokenOutcome::Expired:
        result.Ending = CheckEnding::SignInExpired;
        Fail(result, "- The provider no longer takes the sign-in", kSignInExpiredText);
        return false;
    case AccessTokenOutcome::Refused:
        // Each check would only be refused again: wait as after a refused
        // login.
        result.Ending = CheckEnding::LoginRefused;
        Fail(result, "- The provider refused a token", kRejectedSignInText);
        return false;
    default:
        // The mailbox is as it was for all that the check knows.
        result.Ending = CheckEnding::ComeBackLater;
        Fail(result, "- No answer from the provider", kSignInServerUnreachableText);
        return false;
    }
}

bool SignInWithToken(ProbeConnection& connection, std::string token, ProbeResult& result,
                     const std::function<TokenVerdict(const std::string& token)>& attempt)
{
    // Never in the clear, whatever led here: only TLS whose certificate
    // check passed keeps the token between Quillo and the server.
    if (connection.Tls == nullptr) {
        Fail(result, "- No token without TLS", kSecureConnectionRequiredText);
        return false;
    }
    for (bool renewed = false;; renewed = true) {
        const TokenVerdict verdict = attempt(token);
        if (verdict != TokenVerdict::Refused)
            return verdict == TokenVerdict::Accepted;
        // A server says the same of an expired token as of a revoked one.
        // One renewal tells them apart; more would only earn the growing
        // delays that servers put on every login after failed ones.
        if (renewed) {
            result.Ending = CheckEnding::SignInExpired;
            Fail(result, "- Server refused the renewed token too", kSignInExpiredText);
            return false;
        }
        DebugTrace("- Server refused the token: renewing it");
        if (!TakeAccessToken(connection.Settings, true, token, result))
            return false;
    }
}

UniqueSocket ConnectToHost(const HostConfig& host, const ProbeSettings& settings, ProbeResult& result)
{
    UniqueSocket none(kNoSocket, settings.Sockets->CloseSocket);
    const uint16_t port = ServerPort(host);

    ShowProgress(settings, kGettingAddressText);
    // The name service may answer an empty name with this machine's own
    // address, and whatever listens there would be sent the password.
    const std::vector<ServerAddress> addresses =
        host.Name.empty() ? std::vector<ServerAddress>{} : settings.Sockets->ResolveHost(host.Name.c_str(), port);
    if (addresses.empty()) {
        Fail(result, "- Bogus address", kNoSuchHostText);
        return none;
    }

    ShowProgress(settings, kConnectingText);
    return ConnectToAny(addresses, settings, result);
}

bool SecureConnection(ProbeConnection& connection, const HostConfig& host, ProbeResult& result)
{
    // Whatever the server sent before the handshake (after the "+OK" to
    // STLS, the tagged OK to STARTTLS) is no reply to anything: taking it as
    // one, or as TLS data, would let a man in the middle speak for the
    // server inside the secure session.
    if (connection.Next != connection.End) {
        Fail(result, "- Bytes before the TLS handshake!", kNoSecureConnectionText);
        return false;
    }
    const ProbeSettings& settings = connection.Settings;
    TlsSession* session = nullptr;
    const TlsOutcome outcome = settings.Sockets->StartTlsSession(connection.Socket, host.Name.c_str(),
                                                                 BoundFromNow(settings), settings.Stop, &session);
    if (outcome != TlsOutcome::Established) {
        DebugTrace("- TLS failed: %d", static_cast<int>(outcome));
        result.StatusText = TlsFailureText(outcome);
        return false;
    }
    connection.Tls = session;
    return true;
}

const char* TlsFailureText(TlsOutcome outcome)
{
    switch (outcome) {
    case TlsOutcome::NotTrusted:
        return kCertificateUntrustedText;
    case TlsOutcome::Expired:
        return kCertificateExpiredText;
    case TlsOutcome::NotYetValid:
        return kCertificateNotYetValidText;
    case TlsOutcome::NameMismatch:
        return kCertificateNameText;
    default:
        return kNoSecureConnectionText;
    }
}

void SendLine(ProbeConnection& connection, std::string_view text)
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

Arrival ReceiveLineInto(ProbeConnection& connection, char* kept, size_t keep, Deadline deadline)
{
    size_t count = 0;
    for (size_t seen = 0;; ++seen) {
        if (const Arrival why = HaveByte(connection, deadline); why != Arrival::Complete)
            return why;
        const char byte = connection.Received[connection.Next++];
        if (byte == '\n') {
            kept[count] = '\0';
            return Arrival::Complete;
        }
        if (seen == kReplyLineLimit)
            return Arrival::TooLong;
        if (byte != '\r' && count < keep)
            kept[count++] = byte;
    }
}

Arrival ReceiveByte(ProbeConnection& connection, char& byte, Deadline deadline)
{
    const Arrival why = HaveByte(connection, deadline);
    if (why == Arrival::Complete)
        byte = connection.Received[connection.Next++];
    return why;
}

Arrival ReceiveBytes(ProbeConnection& connection, size_t count, std::string& bytes, size_t keep, Deadline deadline)
{
    bytes.clear();
    for (size_t done = 0; done < count;) {
        if (const Arrival why = HaveByte(connection, deadline); why != Arrival::Complete)
            return why;
        const size_t taken = std::min(count - done, connection.End - connection.Next);
        if (bytes.size() < keep)
            bytes.append(connection.Received + connection.Next, std::min(taken, keep - bytes.size()));
        connection.Next += taken;
        done += taken;
    }
    return Arrival::Complete;
}

const char* ReceiveLineBefore(ProbeConnection& connection, Deadline deadline, Arrival* why)
{
    const Arrival arrival = ReceiveLineInto(connection, connection.Reply, kReplyLineKept, deadline);
    if (why != nullptr)
        *why = arrival;
    return arrival == Arrival::Complete ? connection.Reply : nullptr;
}

const char* ReceiveLine(ProbeConnection& connection, Arrival* why)
{
    return ReceiveLineBefore(connection, BoundFromNow(connection.Settings), why);
}

const char* MissingReplyText(Arrival why, const char* closedText)
{
    switch (why) {
    case Arrival::TimedOut:
        return kNoAnswerInTimeText;
    case Arrival::TooLong:
        return kReplyTooLongText;
    default:
        return closedText;
    }
}

bool HasResponseCode(std::string_view afterStatus, std::string_view code)
{
    const size_t open = afterStatus.find_first_not_of(' ');
    if (open == std::string_view::npos || afterStatus[open] != '[' || afterStatus.size() - open - 1 <= code.size())
        return false;
    const std::string_view named = afterStatus.substr(open + 1, code.size());
    const char after = afterStatus[open + 1 + code.size()];
    return StartsWithNoCase(std::string(named).c_str(), std::string(code).c_str()) &&
           (after == ']' || after == '/' || after == ' ');
}

std::string ServerOwnWords(std::string_view text)
{
    std::string words(text);
    for (char& c : words) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    const size_t first = words.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    words = words.substr(first, words.find_last_not_of(' ') + 1 - first).substr(0, kServerTextKept);
    words.erase(words.find_last_not_of(' ') + 1);
    return words;
}
