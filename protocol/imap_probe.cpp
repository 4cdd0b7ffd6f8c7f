// The IMAP dialogue of one check. Every response is read whole, literals
// included, so that the dialogue stays in step whatever the server puts
// between the lines it waits for; and every wait for a command's tagged
// response, however many untagged ones come first, ends at one bound.
#include "imap_probe.h"

#include "debug_trace.h"
#include "sasl_token.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// IMAP sets no limit on a line: each is read to its end, but only this much
// of it is kept, which is more than the dialogue ever looks at.
constexpr size_t kLineKept = kReplyLineLimit;
// What "{n}" at a line's end needs, with room to spare.
constexpr size_t kLineTailKept = 16;
// A literal's bytes beyond this are read and dropped: a mailbox name is the
// longest the dialogue reads.
constexpr size_t kLiteralKept = 1024;
// The most bytes one response may take, lines and literals together: an
// endless response ends here at once, not only at the bound.
constexpr size_t kResponseLimit = size_t{1} << 20;

// The UNSEEN count in " (MESSAGES 3 UNSEEN 1)": name and number pairs in
// any order, in parentheses after one space; spaces after them are no harm.
std::optional<uint32_t> UnseenItem(std::string items)
{
    items.erase(items.find_last_not_of(' ') + 1);
    if (items.size() < 3 || items[0] != ' ' || items[1] != '(' || items.back() != ')')
        return std::nullopt;
    std::optional<uint32_t> unseen;
    size_t at = 2;
    const size_t end = items.size() - 1;
    while (at < end) {
        const size_t nameEnd = items.find(' ', at);
        if (nameEnd == std::string::npos || nameEnd >= end)
            return std::nullopt;
        const std::string name = items.substr(at, nameEnd - at);
        size_t numberEnd = nameEnd + 1;
        uint64_t number = 0;
        while (numberEnd < end && std::isdigit(static_cast<unsigned char>(items[numberEnd]))) {
            number = number * 10 + static_cast<uint64_t>(items[numberEnd++] - '0');
            if (number > UINT32_MAX)
                return std::nullopt;
        }
        if (numberEnd == nameEnd + 1 || (numberEnd < end && items[numberEnd] != ' '))
            return std::nullopt;
        if (name.size() == 6 && StartsWithNoCase(name.c_str(), "UNSEEN"))
            unseen = static_cast<uint32_t>(number);
        at = numberEnd + 1;
    }
    return unseen;
}

// The size in a "{n}" at the line's end, or nothing.
std::optional<size_t> LiteralAtEnd(const std::string& line)
{
    if (line.empty() || line.back() != '}')
        return std::nullopt;
    const size_t open = line.rfind('{');
    if (open == std::string::npos || open + 2 > line.size() - 1 || line.size() - open - 2 > 9)
        return std::nullopt;
    size_t size = 0;
    for (size_t i = open + 1; i + 1 < line.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i])))
            return std::nullopt;
        size = size * 10 + static_cast<size_t>(line[i] - '0');
    }
    return size;
}

// One line without its CRs, its beginning in `kept` and its end in `tail`,
// taking no more than `budget` bytes (which it counts down).
Arrival ReadLine(ProbeConnection& connection, std::string& kept, std::string& tail, size_t& budget, Deadline deadline)
{
    kept.clear();
    tail.clear();
    for (;;) {
        if (budget == 0)
            return Arrival::TooLong;
        char byte = 0;
        if (const Arrival why = ReceiveByte(connection, byte, deadline); why != Arrival::Complete)
            return why;
        --budget;
        if (byte == '\n')
            return Arrival::Complete;
        if (byte == '\r')
            continue;
        if (kept.size() < kLineKept)
            kept += byte;
        if (tail.size() == kLineTailKept)
            tail.erase(0, 1);
        tail += byte;
    }
}

// One whole response before the deadline: its lines and literals, as much
// of each as is kept.
Arrival ReadResponse(ProbeConnection& connection, ImapResponse& response, Deadline deadline)
{
    response.Parts.clear();
    size_t budget = kResponseLimit;
    std::string tail;
    for (;;) {
        std::string line;
        if (const Arrival why = ReadLine(connection, line, tail, budget, deadline); why != Arrival::Complete)
            return why;
        response.Parts.push_back(std::move(line));
        const std::optional<size_t> literal = LiteralAtEnd(tail);
        if (!literal)
            return Arrival::Complete;
        if (*literal > budget)
            return Arrival::TooLong;
        budget -= *literal;
        std::string bytes;
        if (const Arrival why = ReceiveBytes(connection, *literal, bytes, kLiteralKept, deadline);
            why != Arrival::Complete)
            return why;
        response.Parts.push_back(std::move(bytes));
    }
}

bool HasWordNoCase(const std::string& text, const char* word)
{
    const size_t length = std::char_traits<char>::length(word);
    for (size_t at = 0; at + length <= text.size(); ++at) {
        const bool starts = at == 0 || text[at - 1] == ' ' || text[at - 1] == '[';
        const bool ends = at + length == text.size() || text[at + length] == ' ' || text[at + length] == ']';
        if (starts && ends && StartsWithNoCase(text.c_str() + at, word))
            return true;
    }
    return false;
}

// The text of a refusal whose response code (RFC 5530) asks to be asked
// later, or null.
const char* ComeBackLaterText(std::string_view afterStatus)
{
    if (HasResponseCode(afterStatus, "UNAVAILABLE"))
        return kTemporarilyUnavailableText;
    if (HasResponseCode(afterStatus, "INUSE"))
        return kMailboxInUseText;
    return nullptr;
}

// How a command ended: its tagged "OK", "NO" or "BAD", a continuation
// request ("+") when one was asked for, or nothing (see Why).
enum class Ending { Ok, Refused, Continue, Missing };

// What one IMAP exchange has learnt so far.
struct ImapExchange {
    ProbeConnection& Connection;
    const HostConfig& Host;
    ProbeResult Result;
    unsigned Tags = 0;
    std::string Capabilities;  // the last capability list the server gave
    std::optional<uint32_t> Unseen;
    std::string Said;                 // what the last tagged response says after its status word
    Arrival Why = Arrival::Complete;  // why the last command's response is missing
    std::string Status;               // the last tagged response's status word
};

std::string NextTag(ImapExchange& exchange)
{
    // Appended, as GCC 12 at -O2 wrongly warns (-Wrestrict) about a literal
    // + std::to_string(...).
    std::string tag = "q";
    tag += std::to_string(++exchange.Tags);
    return tag;
}

bool IsBye(const std::string& line)
{
    return StartsWithNoCase(line.c_str(), "* BYE") && (line.size() == 5 || line[5] == ' ');
}

// Reads up to the tagged response of the command with this tag, or to a
// continuation request when `continuing`; untagged responses on the way
// are skipped, but the capabilities and the INBOX status among them kept.
// A BYE ends the wait at once: the server is closing.
Ending Await(ImapExchange& exchange, const std::string& tag, bool continuing)
{
    const Deadline deadline = BoundFromNow(exchange.Connection.Settings);
    ImapResponse response;
    exchange.Said.clear();
    for (;;) {
        exchange.Why = ReadResponse(exchange.Connection, response, deadline);
        if (exchange.Why != Arrival::Complete)
            return Ending::Missing;
        const std::string& first = response.Parts.front();
        if (continuing && first.starts_with("+"))
            return Ending::Continue;
        if (first.size() > tag.size() && first.compare(0, tag.size(), tag) == 0 && first[tag.size()] == ' ') {
            const size_t statusEnd = first.find(' ', tag.size() + 1);
            exchange.Said = statusEnd == std::string::npos ? std::string() : first.substr(statusEnd);
            exchange.Status =
                first.substr(tag.size() + 1, statusEnd == std::string::npos ? statusEnd : statusEnd - tag.size() - 1);
            return StartsWithNoCase(first.c_str() + tag.size() + 1, "OK") ? Ending::Ok : Ending::Refused;
        }
        if (IsBye(first)) {
            exchange.Why = Arrival::Closed;
            return Ending::Missing;
        }
        if (StartsWithNoCase(first.c_str(), "* CAPABILITY "))
            exchange.Capabilities = first;
        if (const std::optional<uint32_t> unseen = UnseenInInbox(response))
            exchange.Unseen = unseen;
    }
}

// Sends the command (its text after the tag) and reads up to its end.
Ending Command(ImapExchange& exchange, const std::string& text)
{
    const std::string tag = NextTag(exchange);
    SendLine(exchange.Connection, tag + ' ' + text);
    return Await(exchange, tag, false);
}

bool ReadGreeting(ImapExchange& exchange, bool& preauthenticated)
{
    ImapResponse greeting;
    const Arrival why = ReadResponse(exchange.Connection, greeting, BoundFromNow(exchange.Connection.Settings));
    if (why != Arrival::Complete) {
        Fail(exchange.Result, "- Disconnected after connect!", MissingReplyText(why, kDisconnectImmediateText));
        return false;
    }
    const std::string& first = greeting.Parts.front();
    if (!StartsWithNoCase(first.c_str(), "* OK") && !StartsWithNoCase(first.c_str(), "* PREAUTH")) {
        const char* later = IsBye(first) ? ComeBackLaterText(std::string_view(first).substr(5)) : nullptr;
        if (later != nullptr) {
            exchange.Result.Ending = CheckEnding::ComeBackLater;
            Fail(exchange.Result, "- Server asks to come back later!", later);
        } else {
            Fail(exchange.Result, "- Server rejected connect!", kRejectedConnectText);
        }
        return false;
    }
    preauthenticated = StartsWithNoCase(first.c_str(), "* PREAUTH");
    if (HasWordNoCase(first, "CAPABILITY"))
        exchange.Capabilities = first;
    return true;
}

// The server's capabilities, from the greeting's code or else asked for:
// false when it does not answer.
bool LearnCapabilities(ImapExchange& exchange)
{
    return !exchange.Capabilities.empty() || Command(exchange, "CAPABILITY") != Ending::Missing;
}

bool SecureWithStartTls(ImapExchange& exchange)
{
    if (!LearnCapabilities(exchange)) {
        Fail(exchange.Result, "- No CAPABILITY reply!", kNoStartTlsText);
        return false;
    }
    if (!HasWordNoCase(exchange.Capabilities, "STARTTLS") || Command(exchange, "STARTTLS") != Ending::Ok) {
        Fail(exchange.Result, "- Server rejected STARTTLS!", kNoStartTlsText);
        return false;
    }
    if (!SecureConnection(exchange.Connection, exchange.Host, exchange.Result))
        return false;
    // What came in the clear may have been a man in the middle's, and
    // servers offer their ways of signing in only inside TLS (RFC 3501
    // 6.2.1): the capabilities are asked for again when needed.
    exchange.Capabilities.clear();
    return true;
}

// A NO or BAD to LOGIN (or to its literal): what its response code says.
void LoginRefused(ImapExchange& exchange)
{
    ProbeResult& result = exchange.Result;
    const std::string_view said = exchange.Said;
    if (const char* later = ComeBackLaterText(said)) {
        result.Ending = CheckEnding::ComeBackLater;
        Fail(result, "- Server asks to come back later!", later);
        return;
    }
    result.Ending = CheckEnding::LoginRefused;
    if (HasResponseCode(said, "PRIVACYREQUIRED")) {
        Fail(result, "- LOGIN refused on a plain connection!", kSecureConnectionRequiredText);
        return;
    }
    if (HasResponseCode(said, "EXPIRED") || HasResponseCode(said, "CONTACTADMIN")) {
        const size_t codeEnd = said.find(']');
        if (codeEnd != std::string_view::npos)
            result.ServerText = ServerOwnWords(said.substr(codeEnd + 1));
        // The usual text stands in for the words where they cannot be shown.
        if (!result.ServerText.empty()) {
            Fail(result, "- Server rejected LOGIN in its own words!", kRejectedLoginText);
            return;
        }
    }
    Fail(result, "- Server rejected LOGIN!", kRejectedLoginText);
}

// LOGIN with each value quoted, or as a synchronising literal when it holds
// a byte that a quoted string cannot carry: the command goes out up to each
// literal, and the rest only after the server's "+".
bool LogIn(ImapExchange& exchange)
{
    if (exchange.Connection.Tls == nullptr) {
        if (!LearnCapabilities(exchange)) {
            Fail(exchange.Result, "- Disconnected before LOGIN!",
                 MissingReplyText(exchange.Why, kDisconnectAfterPassText));
            return false;
        }
        if (HasWordNoCase(exchange.Capabilities, "LOGINDISABLED")) {
            Fail(exchange.Result, "- LOGIN disabled on a plain connection!", kSecureConnectionRequiredText);
            return false;
        }
    }
    const std::string tag = NextTag(exchange);
    std::string pending = tag + " LOGIN";
    for (const std::string* value : {&exchange.Host.UserID, &exchange.Host.Password}) {
        if (const std::optional<std::string> quoted = QuotedString(*value)) {
            pending += ' ' + *quoted;
            continue;
        }
        SendLine(exchange.Connection, pending + " {" + std::to_string(value->size()) + '}');
        const Ending ending = Await(exchange, tag, true);
        if (ending == Ending::Missing) {
            Fail(exchange.Result, "- No go-ahead for a LOGIN literal!",
                 MissingReplyText(exchange.Why, kDisconnectAfterPassText));
            return false;
        }
        if (ending != Ending::Continue) {
            LoginRefused(exchange);
            return false;
        }
        // The literal's bytes begin the next piece.
        pending = *value;
    }
    SendLine(exchange.Connection, pending);
    const Ending ending = Await(exchange, tag, false);
    if (ending == Ending::Ok)
        return true;
    if (ending == Ending::Missing)
        Fail(exchange.Result, "- Disconnected after LOGIN!", MissingReplyText(exchange.Why, kDisconnectAfterPassText));
    else
        LoginRefused(exchange);
    return false;
}

// What the server's last word on an AUTHENTICATE says of the token.
TokenVerdict TokenVerdictOf(ImapExchange& exchange, Ending ending, bool tokenSent)
{
    ProbeResult& result = exchange.Result;
    if (ending == Ending::Ok)
        return TokenVerdict::Accepted;
    if (ending == Ending::Missing) {
        Fail(result, "- Disconnected after AUTHENTICATE!", MissingReplyText(exchange.Why, kDisconnectAfterPassText));
        return TokenVerdict::Failed;
    }
    if (const char* later = ComeBackLaterText(exchange.Said)) {
        result.Ending = CheckEnding::ComeBackLater;
        Fail(result, "- Server asks to come back later!", later);
        return TokenVerdict::Failed;
    }
    // A refusal before the token went out says nothing of the token, nor
    // does one that names another reason than the token (RFC 5530).
    const size_t codeAt = exchange.Said.find_first_not_of(' ');
    const bool coded = codeAt != std::string::npos && exchange.Said[codeAt] == '[';
    if (tokenSent && exchange.Status.size() == 2 && StartsWithNoCase(exchange.Status.c_str(), "NO") &&
        (!coded || HasResponseCode(exchange.Said, "AUTHENTICATIONFAILED")))
        return TokenVerdict::Refused;
    result.Ending = CheckEnding::LoginRefused;
    Fail(result, "- Server rejected AUTHENTICATE!", kRejectedSignInText);
    return TokenVerdict::Failed;
}

// One AUTHENTICATE with the token, its initial response on the command line
// where the server takes it there (SASL-IR), else after its "+".
TokenVerdict AuthenticateWithToken(ImapExchange& exchange, SaslMechanism mechanism, const std::string& token)
{
    const HostConfig& host = exchange.Host;
    const std::optional<std::string> response =
        OAuthInitialResponse(mechanism, {host.UserID, host.Name, ServerPort(host), token});
    if (!response) {
        Fail(exchange.Result, "- Control bytes in the user name or token!", kRejectedSignInText);
        return TokenVerdict::Failed;
    }
    const std::string tag = NextTag(exchange);
    const std::string command = tag + " AUTHENTICATE " + SaslMechanismName(mechanism);
    if (HasWordNoCase(exchange.Capabilities, "SASL-IR")) {
        SendLine(exchange.Connection, command + ' ' + *response);
    } else {
        SendLine(exchange.Connection, command);
        const Ending goAhead = Await(exchange, tag, true);
        if (goAhead != Ending::Continue)
            return TokenVerdictOf(exchange, goAhead, false);
        SendLine(exchange.Connection, *response);
    }
    Ending ending = Await(exchange, tag, true);
    // The server holds its refusal back until its challenge is answered.
    if (ending == Ending::Continue) {
        DebugTrace("- Server challenged the token");
        SendLine(exchange.Connection, RefusalChallengeAnswer(mechanism));
        ending = Await(exchange, tag, false);
    }
    return TokenVerdictOf(exchange, ending, true);
}

// AUTHENTICATE with the mechanism that the server offers: true once it took
// a token.
bool SignInWithOAuth(ImapExchange& exchange, std::string token)
{
    if (!LearnCapabilities(exchange)) {
        Fail(exchange.Result, "- Disconnected before AUTHENTICATE!",
             MissingReplyText(exchange.Why, kDisconnectAfterPassText));
        return false;
    }
    const std::optional<SaslMechanism> mechanism = ChooseSaslMechanism(
        HasWordNoCase(exchange.Capabilities, "AUTH=XOAUTH2"), HasWordNoCase(exchange.Capabilities, "AUTH=OAUTHBEARER"));
    if (!mechanism) {
        exchange.Result.Ending = CheckEnding::LoginRefused;
        Fail(exchange.Result, "- No SASL mechanism for a token!", kRejectedSignInText);
        return false;
    }
    return SignInWithToken(exchange.Connection, std::move(token), exchange.Result, [&](const std::string& attempted) {
        return AuthenticateWithToken(exchange, *mechanism, attempted);
    });
}

void AskStatus(ImapExchange& exchange)
{
    ProbeResult& result = exchange.Result;
    exchange.Unseen.reset();
    const Ending ending = Command(exchange, "STATUS INBOX (MESSAGES UNSEEN)");
    if (ending == Ending::Refused) {
        if (const char* later = ComeBackLaterText(exchange.Said)) {
            result.Ending = CheckEnding::ComeBackLater;
            Fail(result, "- Server asks to come back later!", later);
            return;
        }
    }
    if (ending != Ending::Ok || !exchange.Unseen) {
        Fail(result, "- Server rejected STATUS!", kRejectedStatusText);
        return;
    }
    // The answer to LOGOUT tells nothing; waiting for it would only let a
    // slow server hold the check.
    SendLine(exchange.Connection, NextTag(exchange) + " LOGOUT");
    result.NewMessages = static_cast<int32_t>(std::min<uint32_t>(*exchange.Unseen, INT32_MAX));
    if (*exchange.Unseen == 0) {
        result.State = NoMail;
        result.StatusText = kNoNewMailText;
    } else {
        result.State = NewMail;
        result.StatusText = kNewMailText;
    }
}

// Fills the exchange's result.
void Run(ImapExchange& exchange, std::string accessToken)
{
    bool preauthenticated = false;
    if (!ReadGreeting(exchange, preauthenticated))
        return;
    if (exchange.Host.Security == StartTls) {
        // A server that greets preauthenticated is past the point where TLS
        // could start: going on would read the mailbox in the clear.
        if (preauthenticated) {
            Fail(exchange.Result, "- PREAUTH where STARTTLS was wanted!", kNoStartTlsText);
            return;
        }
        if (!SecureWithStartTls(exchange))
            return;
    }
    if (!preauthenticated) {
        const bool signedIn =
            exchange.Host.Auth == OAuthSignIn ? SignInWithOAuth(exchange, std::move(accessToken)) : LogIn(exchange);
        if (!signedIn)
            return;
    }
    AskStatus(exchange);
}

}  // namespace

std::optional<std::string> QuotedString(const std::string& value)
{
    std::string quoted = "\"";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0 || byte == '\r' || byte == '\n' || byte >= 0x80)
            return std::nullopt;
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

std::optional<uint32_t> UnseenInInbox(const ImapResponse& response)
{
    const std::vector<std::string>& parts = response.Parts;
    if (parts.empty() || !StartsWithNoCase(parts.front().c_str(), "* STATUS "))
        return std::nullopt;
    const std::string& first = parts.front();
    size_t at = std::char_traits<char>::length("* STATUS ");
    std::string mailbox;
    std::string items;
    if (parts.size() == 3 && first[at] == '{') {
        mailbox = parts[1];
        items = parts[2];
    } else if (parts.size() != 1 || at == first.size()) {
        return std::nullopt;
    } else if (first[at] == '"') {
        for (++at; at < first.size() && first[at] != '"'; ++at) {
            if (first[at] == '\\' && ++at == first.size())
                return std::nullopt;
            mailbox += first[at];
        }
        if (at == first.size())
            return std::nullopt;
        items = first.substr(at + 1);
    } else {
        const size_t end = first.find(' ', at);
        mailbox = first.substr(at, end == std::string::npos ? std::string::npos : end - at);
        items = end == std::string::npos ? std::string() : first.substr(end);
    }
    if (mailbox.size() != 5 || !StartsWithNoCase(mailbox.c_str(), "INBOX"))
        return std::nullopt;
    return UnseenItem(items);
}

ProbeResult ImapDialogue(ProbeConnection& connection, const HostConfig& host, std::string accessToken)
{
    ImapExchange exchange{connection, host, {}, 0, {}, std::nullopt, {}, Arrival::Complete, {}};
    Run(exchange, std::move(accessToken));
    return exchange.Result;
}
