// The POP3 dialogue of one check, on a connection in TLS from the start,
// after STLS, or plain.
#include "pop3_probe.h"

#include "debug_trace.h"
#include "sasl_token.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The most a server's LOGIN-DELAY may hold the next check back: one that
// asks for more is still checked hourly, and its refusal changes nothing.
constexpr int32_t kLongestLoginDelay = 3600;

// The longest command line, CR LF included (RFC 2449); an AUTH whose initial
// response would make it longer sends the response on a line of its own
// (RFC 5034), as Microsoft's servers insist.
constexpr size_t kLongestCommand = 255;

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
    // The SASL mechanisms that sign in with an access token.
    bool XOAuth2 = false;
    bool OAuthBearer = false;
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

// The mechanisms of "SASL XOAUTH2 OAUTHBEARER ..." that the check can use.
void ReadSaslMechanisms(const char* line, Pop3Capabilities& capabilities)
{
    const std::string_view names = line;
    for (size_t at = names.find(' '); at != std::string_view::npos;) {
        const size_t end = names.find(' ', at + 1);
        const std::string name(names.substr(at + 1, end == std::string_view::npos ? end : end - at - 1));
        capabilities.XOAuth2 = capabilities.XOAuth2 || IsCapability(name.c_str(), "XOAUTH2");
        capabilities.OAuthBearer = capabilities.OAuthBearer || IsCapability(name.c_str(), "OAUTHBEARER");
        at = end;
    }
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
            else if (StartsWithNoCase(line, "SASL "))
                ReadSaslMechanisms(line, capabilities);
        }
    }
    if (line == nullptr) {
        Fail(result, "- No answer to CAPA!", MissingReplyText(why, kDisconnectImmediateText));
        return false;
    }
    result.ServerMinimumDelay = capabilities.LoginDelay;
    return true;
}

// The message count of STAT's "+OK nn mm", capped at the largest int32_t;
// nothing when no number stands there.
std::optional<int32_t> StatCount(const char* line)
{
    const char* at = line + std::char_traits<char>::length("+OK ");
    if (*at < '0' || *at > '9')
        return std::nullopt;
    int64_t count = 0;
    for (; *at >= '0' && *at <= '9'; ++at)
        count = std::min<int64_t>(count * 10 + (*at - '0'), INT32_MAX);
    if (*at != '\0' && *at != ' ')
        return std::nullopt;
    return static_cast<int32_t>(count);
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

// USER and PASS, as far as the server lets them go: true when it accepted
// both.
bool LogInWithPassword(ProbeConnection& connection, const HostConfig& host, const Pop3Capabilities& capabilities,
                       ProbeResult& result)
{
    // The server would refuse the password in the clear, or worse, take it.
    if (connection.Tls == nullptr && capabilities.Stls && !capabilities.User) {
        Fail(result, "- USER only after STLS!", kSecureConnectionRequiredText);
        return false;
    }

    Arrival why = Arrival::Complete;
    if (!SendCommand(connection, "USER", host.UserID)) {
        Fail(result, "- Server rejected USER info!", kRejectedUserText);
        return false;
    }
    const char* line = ReceiveLine(connection, &why);
    if (line == nullptr) {
        Fail(result, "- Disconnected after sending user info!", MissingReplyText(why, kDisconnectAfterUserText));
        return false;
    }
    if (!StartsWithNoCase(line, "+OK")) {
        // Inside TLS, [AUTH] cannot mean that TLS is missing.
        const bool wantsTls = connection.Tls == nullptr && StartsWithNoCase(line, "-ERR") &&
                              HasResponseCode(line + std::char_traits<char>::length("-ERR"), "AUTH");
        Refused(result, line, "- Server rejected USER info!",
                wantsTls ? kSecureConnectionRequiredText : kRejectedUserText, true);
        return false;
    }

    if (!SendCommand(connection, "PASS", host.Password)) {
        Fail(result, "- Server rejected PASS info!", kRejectedPassText);
        return false;
    }
    line = ReceiveLine(connection, &why);
    if (line == nullptr) {
        Fail(result, "- Disconnected after sending password!", MissingReplyText(why, kDisconnectAfterPassText));
        return false;
    }
    if (!StartsWithNoCase(line, "+OK")) {
        Refused(result, line, "- Server rejected PASS info!", kRejectedPassText, true);
        return false;
    }
    return true;
}

// A "+" and maybe a challenge: the server waits for the client's next line.
bool IsContinuation(const char* line)
{
    return line[0] == '+' && (line[1] == '\0' || line[1] == ' ');
}

// One AUTH with the token, up to the server's last word on it.
TokenVerdict AuthenticateWithToken(ProbeConnection& connection, const HostConfig& host, SaslMechanism mechanism,
                                   const std::string& token, ProbeResult& result)
{
    const std::optional<std::string> response =
        OAuthInitialResponse(mechanism, {host.UserID, host.Name, ServerPort(host), token});
    if (!response) {
        Fail(result, "- Control bytes in the user name or token!", kRejectedSignInText);
        return TokenVerdict::Failed;
    }
    const std::string command = std::string("AUTH ") + SaslMechanismName(mechanism);
    Arrival why = Arrival::Complete;
    const char* line = nullptr;
    bool tokenSent = true;
    if (command.size() + 1 + response->size() + 2 <= kLongestCommand) {
        SendLine(connection, command + ' ' + *response);
        line = ReceiveLine(connection, &why);
    } else {
        SendLine(connection, command);
        line = ReceiveLine(connection, &why);
        tokenSent = line != nullptr && IsContinuation(line);
        if (tokenSent) {
            SendLine(connection, *response);
            line = ReceiveLine(connection, &why);
        }
    }
    // The server holds its refusal back until its challenge is answered.
    if (line != nullptr && IsContinuation(line)) {
        DebugTrace("- Server challenged the token");
        SendLine(connection, RefusalChallengeAnswer(mechanism));
        line = ReceiveLine(connection, &why);
    }
    if (line == nullptr) {
        Fail(result, "- Disconnected after AUTH!", MissingReplyText(why, kDisconnectAfterPassText));
        return TokenVerdict::Failed;
    }
    if (StartsWithNoCase(line, "+OK"))
        return TokenVerdict::Accepted;
    // A refusal before the token went out says nothing of the token.
    if (tokenSent && StartsWithNoCase(line, "-ERR") && ComeBackLaterText(line) == nullptr)
        return TokenVerdict::Refused;
    Refused(result, line, "- Server rejected AUTH!", kRejectedSignInText, !tokenSent);
    return TokenVerdict::Failed;
}

// AUTH with the mechanism that the server offers: true once it took a token.
bool SignInWithOAuth(ProbeConnection& connection, const HostConfig& host, const Pop3Capabilities& capabilities,
                     std::string token, ProbeResult& result)
{
    const std::optional<SaslMechanism> mechanism = ChooseSaslMechanism(capabilities.XOAuth2, capabilities.OAuthBearer);
    if (!mechanism) {
        result.Ending = CheckEnding::LoginRefused;
        Fail(result, "- No SASL mechanism for a token!", kRejectedSignInText);
        return false;
    }
    return SignInWithToken(connection, std::move(token), result, [&](const std::string& attempted) {
        return AuthenticateWithToken(connection, host, *mechanism, attempted, result);
    });
}

}  // namespace

ProbeResult Pop3Dialogue(ProbeConnection& connection, const HostConfig& host, std::string accessToken)
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
    const bool signedIn = host.Auth == OAuthSignIn
                              ? SignInWithOAuth(connection, host, capabilities, std::move(accessToken), result)
                              : LogInWithPassword(connection, host, capabilities, result);
    if (!signedIn)
        return result;

    SendLine(connection, "STAT");
    line = ReceiveLine(connection);
    if (line == nullptr || !StartsWithNoCase(line, "+OK "))
        return Refused(result, line == nullptr ? "" : line, "- Server rejected STAT info!", kRejectedStatText, false);

    // The answer to QUIT tells nothing; waiting for it would only let a slow
    // server hold the check.
    SendLine(connection, "QUIT");
    result.NewMessages = StatCount(line);
    if (line[4] == '0') {
        result.State = NoMail;
        result.StatusText = kNoNewMailText;
    } else {
        result.State = NewMail;
        result.StatusText = kNewMailText;
    }
    return result;
}
