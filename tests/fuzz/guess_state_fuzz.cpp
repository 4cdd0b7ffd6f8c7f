// The whole check against a server that may say anything, in any pieces, and
// a configuration that may hold any user id and password, in each security
// mode: the result is one of the three states with its own constant text,
// the bytes sent are exactly the commands due up to the step that ended the
// check, in order, each in one send and after the whole reply before it, a
// command never carries a line break inside, no credentials leave before TLS
// is up in a secure mode, and every socket is closed exactly once.
//
// Input: a flags byte (bit 0 no socket, 1 the name service knows no such
// host, 2 a first address refuses, 3 the connect fails, 4 and 5 the security
// mode, 6 the TLS start fails), the user id up to a NUL, the password up to
// a NUL, then the server's side (after the handshake: the decrypted stream)
// as ReadServerSide reads it.
#include "debug_trace.h"
#include "fuzz_check.h"
#include "probe.h"
#include "probe_connection.h"
#include "support/scripted_peer.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<const char*> gProgress;

void RecordProgress(const char* text)
{
    gProgress.push_back(text);
}

void ReadDebugLine(const char* line)
{
    FUZZ_CHECK(std::strlen(line) < 512);
}

std::string TakeUpToNul(const uint8_t*& data, size_t& size)
{
    const void* nul = std::memchr(data, '\0', size);
    const size_t length = nul == nullptr ? size : static_cast<size_t>(static_cast<const uint8_t*>(nul) - data);
    std::string text(reinterpret_cast<const char*>(data), length);
    const size_t used = nul == nullptr ? size : length + 1;
    data += used;
    size -= used;
    return text;
}

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

// How far the dialogue got for each final text: the replies it accepted (the
// whole answer to CAPA counts as one), the commands it sent (a USER or PASS
// with a line break counts as not sent) and what the reply after the
// accepted ones must have been: closed before its line feed, over the
// limit, or not the reply that step wants.
enum class Last { None, Missing, TooLong, Rejected, MissingOrRejected };

struct Outcome {
    const char* text;
    int32_t state;
    size_t accepted;
    size_t commands;
    Last last;
};

// The step that ended the check: of the steps with the final text, the one
// that had sent as many commands. The replies and commands of the STLS step
// (one each with STARTTLS, none otherwise) shift every later step.
std::optional<Outcome> OutcomeOf(const char* text, const HostConfig& host, size_t sent)
{
    const bool userSent = !HasLineBreak(host.UserID);
    const bool passSent = !HasLineBreak(host.Password);
    const size_t s = host.Security == StartTls ? 1 : 0;
    const size_t tlsAccepted = host.Security == StartTls ? 2 : 0;
    const Outcome outcomes[] = {
        {kUnsupportedSecurityText, Unknown, 0, 0, Last::None},
        {kNoSocketText, Unknown, 0, 0, Last::None},
        {kNoSuchHostText, Unknown, 0, 0, Last::None},
        {kConnectFailedText, Unknown, 0, 0, Last::None},
        {kDisconnectImmediateText, Unknown, 0, 0, Last::Missing},
        {kReplyTooLongText, Unknown, 0, 0, Last::TooLong},
        {kRejectedConnectText, Unknown, 0, 0, Last::Rejected},
        {kNoStartTlsText, Unknown, 1, 1, Last::MissingOrRejected},
        {kNoSecureConnectionText, Unknown, tlsAccepted, s, Last::None},
        {kCertificateUntrustedText, Unknown, tlsAccepted, s, Last::None},
        {kDisconnectImmediateText, Unknown, 1 + s, 1 + s, Last::Missing},
        {kReplyTooLongText, Unknown, 1 + s, 1 + s, Last::TooLong},
        {kSecureConnectionRequiredText, Unknown, 2 + s, 1 + s, Last::None},
        {kSecureConnectionRequiredText, Unknown, 2 + s, 2 + s, Last::Rejected},
        {kDisconnectAfterUserText, Unknown, 2 + s, 2 + s, Last::Missing},
        {kReplyTooLongText, Unknown, 2 + s, 2 + s, Last::TooLong},
        {kRejectedUserText, Unknown, 2 + s, (userSent ? 2u : 1u) + s, userSent ? Last::Rejected : Last::None},
        {kDisconnectAfterPassText, Unknown, 3 + s, 3 + s, Last::Missing},
        {kReplyTooLongText, Unknown, 3 + s, 3 + s, Last::TooLong},
        {kRejectedPassText, Unknown, 3 + s, (passSent ? 3u : 2u) + s, passSent ? Last::Rejected : Last::None},
        {kRejectedStatText, Unknown, 4 + s, 4 + s, Last::MissingOrRejected},
        {kNoNewMailText, NoMail, 5 + s, 5 + s, Last::None},
        {kNewMailText, NewMail, 5 + s, 5 + s, Last::None},
    };
    for (const Outcome& outcome : outcomes) {
        if (outcome.text == text && outcome.commands == sent)  // the constant itself, never a copy
            return outcome;
    }
    // A server that asks to be asked later, at any step that reads a single
    // line but STLS's.
    for (const char* later : {kWaitBeforeNextCheckText, kMailboxInUseText, kTemporarilyUnavailableText}) {
        for (const size_t step : {size_t{0}, 2 + s, 3 + s, 4 + s}) {
            if (later == text && step == sent)
                return Outcome{later, Unknown, step, step, Last::Rejected};
        }
    }
    return std::nullopt;
}

// A reply as the dialogue judges it: CRs dropped, up to a NUL from the
// server, since only the first characters decide anything.
std::string Judged(const std::string& reply)
{
    std::string line;
    for (char c : reply) {
        if (c == '\0')
            break;
        if (c != '\r')
            line += c;
    }
    return line;
}

bool StartsWithNoCase(const std::string& line, const char* prefix)
{
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i == line.size() || std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(prefix[i]))
            return false;
    }
    return true;
}

enum class LineIs { Whole, Closed, TooLong };

// The line that starts at `from`: whole within the limit (ending at
// lineFeed), or why the reader finds none.
LineIs NextLine(const std::string& stream, size_t from, size_t& lineFeed)
{
    lineFeed = stream.find('\n', from);
    if (lineFeed != std::string::npos && lineFeed - from <= kReplyLineLimit)
        return LineIs::Whole;
    return stream.size() - from > kReplyLineLimit ? LineIs::TooLong : LineIs::Closed;
}

// The replies are the server's lines in turn (the answer to CAPA: its first
// line, and after a "+OK" every line up to "."): each accepted one was
// whole and began as it must, and the command after it left only once its
// last line feed had arrived; the one after them was missing, too long or
// rejected as the text says, and the verdict follows the fifth character of
// the STAT reply.
void CheckReplies(const ScriptedPeer& peer, const std::string& stream, const Outcome& outcome, bool stls)
{
    const std::vector<size_t>& deliveredBeforeSend = peer.deliveredBeforeSend();
    std::vector<const char*> accepted{"+OK", "", "+OK", "+OK", "+OK "};
    if (stls)
        accepted.insert(accepted.begin(), "+OK");
    const size_t capa = stls ? 2 : 1;
    const size_t judged = outcome.accepted + (outcome.last == Last::None ? 0 : 1);
    size_t from = 0;
    for (size_t reply = 0; reply < judged; ++reply) {
        size_t lineFeed = 0;
        LineIs is = NextLine(stream, from, lineFeed);
        const std::string line = is == LineIs::Whole ? Judged(stream.substr(from, lineFeed - from)) : std::string();
        if (reply == capa && is == LineIs::Whole && StartsWithNoCase(line, "+OK")) {
            do {
                from = lineFeed + 1;
                is = NextLine(stream, from, lineFeed);
            } while (is == LineIs::Whole && Judged(stream.substr(from, lineFeed - from)) != ".");
        }
        const bool good = is == LineIs::Whole && StartsWithNoCase(line, accepted[reply]);
        if (reply < outcome.accepted) {
            FUZZ_CHECK(good);
            if (reply < deliveredBeforeSend.size())
                FUZZ_CHECK(deliveredBeforeSend[reply] > lineFeed);
        } else {
            FUZZ_CHECK(outcome.last != Last::Missing || is == LineIs::Closed);
            FUZZ_CHECK(outcome.last != Last::TooLong || is == LineIs::TooLong);
            FUZZ_CHECK(outcome.last != Last::Rejected || (is == LineIs::Whole && !good));
            FUZZ_CHECK(outcome.last != Last::MissingOrRejected || !good);
        }
        if (reply == accepted.size() - 1 && good)
            FUZZ_CHECK((line.size() > 4 && line[4] == '0') == (outcome.state == NoMail));
        if (is != LineIs::Whole)
            return;
        from = lineFeed + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PeerScript script;
    const uint8_t flags = size > 0 ? data[0] : 0;
    if (size > 0) {
        ++data;
        --size;
    }
    script.socketFails = (flags & 1) != 0;
    script.resolveFails = (flags & 2) != 0;
    script.deadAddresses = (flags & 4) != 0 ? 1 : 0;
    script.connectFails = (flags & 8) != 0;
    if ((flags & 64) != 0)
        script.tlsOutcome = TlsOutcome::NotTrusted;

    HostConfig host;
    host.Security = (flags >> 4) & 3;  // 3: one this version does not know
    host.Name = "mail.example";
    host.UserID = TakeUpToNul(data, size);
    host.Password = TakeUpToNul(data, size);
    ReadServerSide(data, size, script);

    ScriptedPeer peer(script);
    ProbeSettings settings;
    settings.Sockets = &ScriptedPeer::Sockets();
    settings.Progress = &RecordProgress;
    gDebugTraceSink = &ReadDebugLine;
    gProgress.clear();

    const ProbeResult result = GuessState(host, settings);
    const int32_t state = result.State;

    FUZZ_CHECK(state == Unknown || state == NoMail || state == NewMail);
    FUZZ_CHECK(result.ServerText.empty());
    const std::optional<Outcome> outcome = OutcomeOf(result.StatusText, host, peer.sends().size());
    FUZZ_CHECK(outcome.has_value());
    FUZZ_CHECK(outcome->state == state);
    FUZZ_CHECK(peer.misuse().empty());

    // The steps that cannot depend on the server.
    const bool known = host.Security <= SslTls;
    if (!known)
        FUZZ_CHECK(outcome->text == kUnsupportedSecurityText);
    else if (script.resolveFails)
        FUZZ_CHECK(outcome->text == kNoSuchHostText);
    else if (script.socketFails)
        FUZZ_CHECK(outcome->text == kNoSocketText);
    else if (script.connectFails)
        FUZZ_CHECK(outcome->text == kConnectFailedText);
    const bool reached = known && !script.resolveFails && !script.socketFails;
    FUZZ_CHECK(peer.opened() == (reached ? 1 + static_cast<int>(script.deadAddresses) : 0));
    FUZZ_CHECK(peer.closed() == peer.opened());

    // TLS comes before anything of the host's leaves; a failed start shows
    // its own text, and a session that was up is ended before the close.
    const size_t stlsSends = host.Security == StartTls ? 1 : 0;
    if (peer.tlsStarted()) {
        FUZZ_CHECK(host.Security == SslTls || host.Security == StartTls);
        FUZZ_CHECK(peer.sendsBeforeTls() == stlsSends);
        if (script.tlsOutcome != TlsOutcome::Established)
            FUZZ_CHECK(outcome->text == TlsFailureText(script.tlsOutcome));
        else
            FUZZ_CHECK(peer.tlsEnded());
    } else {
        FUZZ_CHECK(host.Security != SslTls || outcome->commands == 0);
        FUZZ_CHECK(host.Security != StartTls || outcome->commands <= 1);
    }

    // Progress went through its texts in order, each reported once.
    const char* progress[] = {kGettingAddressText, kConnectingText, kQueryingText};
    FUZZ_CHECK(gProgress.size() <= std::size(progress));
    for (size_t i = 0; i < gProgress.size(); ++i)
        FUZZ_CHECK(gProgress[i] == progress[i]);

    std::vector<std::string> commands{"CAPA", "USER " + host.UserID, "PASS " + host.Password, "STAT", "QUIT"};
    if (host.Security == StartTls)
        commands.insert(commands.begin(), "STLS");
    const std::vector<std::string>& sends = peer.sends();
    FUZZ_CHECK(sends.size() == outcome->commands);
    for (size_t i = 0; i < outcome->commands; ++i) {
        FUZZ_CHECK(sends[i] == commands[i] + "\r\n");
        FUZZ_CHECK(sends[i].find_first_of("\r\n") == sends[i].size() - 2);
    }
    std::string stream;
    for (const std::string& piece : script.pieces)
        stream += piece;
    CheckReplies(peer, stream, *outcome, host.Security == StartTls);
    // Bytes that came with the STLS "+OK" end the check before TLS.
    if (host.Security == StartTls && outcome->text == kNoSecureConnectionText && !peer.tlsStarted()) {
        const size_t greetingEnd = stream.find('\n');
        FUZZ_CHECK(peer.delivered() > stream.find('\n', greetingEnd + 1) + 1);
    }

    // The answer to QUIT is never awaited.
    if (outcome->commands == commands.size())
        FUZZ_CHECK(peer.receives() == peer.receivesBeforeSend().back());

    gDebugTraceSink = nullptr;
    return 0;
}
