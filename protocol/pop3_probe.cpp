// The POP3 dialogue of one check, on a connection in TLS from the start,
// after STLS, or plain.
#include "pop3_probe.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The most a server's LOGIN-DELAY may hold the next check back: one that
// asks for more is still checked hourly, and its refusal changes nothing.
constexpr int32_t kLongestLoginDelay = 3600;

// Sends "VERB value" unless the value would smuggle in another command.
bool SendCommand(ProbeConnection& connection, const char* verb, const std::string& value)
{
    if (HasLineBreak(value))
        return false;
    SendLine(connection, std::string(verb) + ' ' + value);
    return true;
}

// RFC 2595's STLS, then TLS.
bool StartTlsOnPlainConnection(ProbeConnection& connection, const HostConfig& host, ProbeResult& result)
{
    SendLine(connection, "STLS");
    const char* line = ReceiveLine(connection);
    if (line == nullptr || !StartsWithNoCase(line, "+OK")) {
        Fail(result, "- Server rejected STLS!", kNoStartTlsText);
        return false;
    }
    return SecureConnection(connection, host, result);
}

// What of RFC 2449's CAPA answer the check needs.
struct Pop3Capabilities {
    bool Stls = false;
    bool User = false;
    int32_t LoginDelay = 0;  // seconds, at most kLongestLoginDelay
};

// The seconds of "LOGIN-DELAY n" (any arguments after n aside), or 0.
int32_t LoginDelaySeconds(const char* line)
{
    const char* at = line + std::char_traits<char>::length("LOGIN-DELAY ");
    int32_t seconds = 0;
    for (; *at >= '0' && *at <= '9'; ++at)
        seconds = std::min(kLongestLoginDelay + 1, seconds * 10 + (*at - '0'));
    if (*at != '\0' && *at != ' ')
        return 0;
    return std::min(seconds, kLongestLoginDelay);
}

bool IsCapability(const char* line, const char* name)
{
    const size_t length = std::char_traits<char>::length(name);
    return StartsWithNoCase(line, name) && (line[length] == '\0' || line[length] == ' ');
}

// CAPA and its whole answer within one bound; an "-ERR" is an answer with
// no capabilities. Fails, with the failure in `result`, when no answer came;
// an answer gives the result its LOGIN-DELAY.
bool AskCapabilities(ProbeConnection& connection, ProbeResult& result, Pop3Capabilities& capabilities)
{
    SendLine(connection, "CAPA");
    const Deadline deadline = BoundFromNow(connection.Settings);
    Arrival why = Arrival::Complete;
    const char* line = ReceiveLineBefore(connection, deadline, &why);
    if (line != nullptr && StartsWithNoCase(line, "+OK")) {
        while ((line = ReceiveLineBefore(connection, deadline, &why)) != nullptr && std::strcmp(line, ".") != 0) {
            if (IsCapability(line, "STLS"))
                capabilities.Stls = true;
            else if (IsCapability(line, "USER"))
                capabilities.User = true;
            else if (StartsWithNoCase(line, "LOGIN-DELAY "))
                capabilities.LoginDelay = LoginDelaySeconds(line);
        }
    }
    if (line == nullptr) {
        Fail(result, "- No answer to CAPA!", MissingReplyText(why, kDisconnectImmediateText));
        return false;
    }
    result.ServerMinimumDelay = capabilities.LoginDelay;
    return true;
}

// The text of an "-ERR" whose response code asks to be asked later, or null.
const char* ComeBackLaterText(const char* line)
{
    const std::string_view afterStatus = std::string_view(line).substr(std::char_traits<char>::length("-ERR"));
    if (HasResponseCode(afterStatus, "LOGIN-DELAY"))
        return kWaitBeforeNextCheckText;
    if (HasResponseCode(afterStatus, "IN-USE"))
        return kMailboxInUseText;
    if (HasResponseCode(afterStatus, "SYS/TEMP"))
        return kTemporarilyUnavailableText;
    return nullptr;
}

// The failure of a step that the server answered with "-ERR" (or anything
// but "+OK"): come back later when its code says so, else the step's text.
ProbeResult& Refused(ProbeResult& result, const char* line, const char* debugLine, const char* text, bool loginStep)
{
    if (StartsWithNoCase(line, "-ERR")) {
        if (const char* later = ComeBackLaterText(line)) {
            result.Ending = CheckEnding::ComeBackLater;
            return Fail(result, "- Server asks to come back later!", later);
        }
        if (loginStep)
            result.Ending = CheckEnding::LoginRefused;
    }
    return Fail(result, debugLine, text);
}

}  // namespace

ProbeResult Pop3Dialogue(ProbeConnection& connection, const HostConfig& host)
{
    ProbeResult result;
    Arrival why = Arrival::Complete;
    const char* line = ReceiveLine(connection, &why);
    if (line == nullptr)
        return Fail(result, "- Disconnected after connect!", MissingReplyText(why, kDisconnectImmediateText));
    if (!StartsWithNoCase(line, "+OK"))
        return Refused(result, line, "- Server rejected connect!", kRejectedConnectText, false);
    // POP3 sends no second greeting after STLS: USER comes next.
    if (host.Security == StartTls && !StartTlsOnPlainConnection(connection, host, result))
        return result;

    Pop3Capabilities capabilities;
    if (!AskCapabilities(connection, result, capabilities))
        return result;
    // The server would refuse the password in the clear, or worse, take it.
    if (connection.Tls == nullptr && capabilities.Stls && !capabilities.User)
        return Fail(result, "- USER only after STLS!", kSecureConnectionRequiredText);

    if (!SendCommand(connection, "USER", host.UserID))
        return Fail(result, "- Server rejected USER info!", kRejectedUserText);
    line = ReceiveLine(connection, &why);
    if (line == nullptr)
        return Fail(result, "- Disconnected after sending user info!", MissingReplyText(why, kDisconnectAfterUserText));
    if (!StartsWithNoCase(line, "+OK")) {
        // Inside TLS, [AUTH] cannot mean that TLS is missing.
        const bool wantsTls = connection.Tls == nullptr && StartsWithNoCase(line, "-ERR") &&
                              HasResponseCode(line + std::char_traits<char>::length("-ERR"), "AUTH");
        return Refused(result, line, "- Server rejected USER info!",
                       wantsTls ? kSecureConnectionRequiredText : kRejectedUserText, true);
    }

    if (!SendCommand(connection, "PASS", host.Password))
        return Fail(result, "- Server rejected PASS info!", kRejectedPassText);
    line = ReceiveLine(connection, &why);
    if (line == nullptr)
        return Fail(result, "- Disconnected after sending password!", MissingReplyText(why, kDisconnectAfterPassText));
    if (!StartsWithNoCase(line, "+OK"))
        return Refused(result, line, "- Server rejected PASS info!", kRejectedPassText, true);

    SendLine(connection, "STAT");
    line = ReceiveLine(connection);
    if (line == nullptr || !StartsWithNoCase(line, "+OK "))
        return Refused(result, line == nullptr ? "" : line, "- Server rejected STAT info!", kRejectedStatText, false);

    // The answer to QUIT tells nothing; waiting for it would only let a slow
    // server hold the check.
    SendLine(connection, "QUIT");
    if (line[4] == '0') {
        result.State = NoMail;
        result.StatusText = kNoNewMailText;
    } else {
        result.State = NewMail;
        result.StatusText = kNewMailText;
    }
    return result;
}
