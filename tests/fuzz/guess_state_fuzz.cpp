// The whole check against a server that may say anything, in any pieces, and
// a configuration that may hold any user id and password: the result is one
// of the three states with its own constant text, the bytes sent are exactly
// the commands due up to the step that ended the check, in order, each after
// the reply before it, a command never carries a line break inside, and the
// socket is closed exactly once.
//
// Input: a flags byte (bit 0 no socket, 1 the name service knows no such
// host, 2 the name is no dotted quad either, 3 the connect fails), the user
// id up to a NUL, the password up to a NUL, then the server's side as
// ReadServerSide reads it.
#include "debug_trace.h"
#include "fuzz_check.h"
#include "pop3_probe.h"
#include "support/scripted_peer.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

HostEntry* gChecked = nullptr;
std::vector<const char*> gPosted;

void RecordPost(int32_t index)
{
    FUZZ_CHECK(index == gChecked->Index);
    gPosted.push_back(gChecked->StatusText.load());
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

// How far the dialogue got for each final text: the number of commands it
// had sent, a USER or PASS with a line break counting as not sent.
struct Outcome {
    const char* text;
    int32_t state;
    size_t commands;
};

std::optional<Outcome> OutcomeOf(const char* text, const HostEntry& host)
{
    const size_t user = HasLineBreak(host.UserID) ? 0 : 1;
    const size_t pass = HasLineBreak(host.Password) ? 1 : 2;
    const Outcome outcomes[] = {
        {kNoSocketText, Unknown, 0},
        {kNoSuchHostText, Unknown, 0},
        {kConnectFailedText, Unknown, 0},
        {kDisconnectImmediateText, Unknown, 0},
        {kRejectedConnectText, Unknown, 0},
        {kDisconnectAfterUserText, Unknown, 1},
        {kRejectedUserText, Unknown, user},
        {kDisconnectAfterPassText, Unknown, 2},
        {kRejectedPassText, Unknown, pass},
        {kRejectedStatText, Unknown, 3},
        {kNoNewMailText, NoMail, 4},
        {kNewMailText, NewMail, 4},
    };
    for (const Outcome& outcome : outcomes) {
        if (outcome.text == text)  // the constant itself, never a copy
            return outcome;
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PeerScript script;
    const uint8_t flags = size > 0 ? data[0] : 0;
    if (size > 0) {
        ++data;
        --size;
    }
    script.socketFails = (flags & 1) != 0;
    script.lookupFails = (flags & 2) != 0;
    script.addressBogus = (flags & 4) != 0;
    script.connectFails = (flags & 8) != 0;

    HostEntry host;
    host.Name = "mail.example";
    host.Index = 5;
    host.UserID = TakeUpToNul(data, size);
    host.Password = TakeUpToNul(data, size);
    ReadServerSide(data, size, script);

    ScriptedPeer peer(script);
    gProbeSettings.Sockets = &ScriptedPeer::Sockets();
    gProbeSettings.PostStatus = &RecordPost;
    DebugTraceSink = &ReadDebugLine;
    gChecked = &host;
    gPosted.clear();

    const int32_t state = GuessState(host);

    FUZZ_CHECK(state == Unknown || state == NoMail || state == NewMail);
    const std::optional<Outcome> outcome = OutcomeOf(host.StatusText.load(), host);
    FUZZ_CHECK(outcome.has_value());
    FUZZ_CHECK(outcome->state == state);
    FUZZ_CHECK(peer.misuse().empty());

    // The steps that cannot depend on the server.
    if (script.socketFails)
        FUZZ_CHECK(outcome->text == kNoSocketText);
    else if (script.lookupFails && script.addressBogus)
        FUZZ_CHECK(outcome->text == kNoSuchHostText);
    else if (script.connectFails)
        FUZZ_CHECK(outcome->text == kConnectFailedText);
    FUZZ_CHECK(peer.opened() == 1);
    FUZZ_CHECK(peer.closed() == (script.socketFails ? 0 : 1));

    // Progress went through its texts in order, each posted once.
    const char* progress[] = {kGettingAddressText, kConnectingText, kQueryingText};
    FUZZ_CHECK(gPosted.size() <= std::size(progress));
    for (size_t i = 0; i < gPosted.size(); ++i)
        FUZZ_CHECK(gPosted[i] == progress[i]);

    const std::string commands[] = {"USER " + host.UserID, "PASS " + host.Password, "STAT", "QUIT"};
    const std::vector<std::string>& sends = peer.sends();
    FUZZ_CHECK(sends.size() == 2 * outcome->commands);
    const std::vector<size_t>& receivesBefore = peer.receivesBeforeSend();
    for (size_t i = 0; i < outcome->commands; ++i) {
        FUZZ_CHECK(sends[2 * i] == commands[i]);
        FUZZ_CHECK(!HasLineBreak(sends[2 * i]));
        FUZZ_CHECK(sends[2 * i + 1] == "\r\n");
        // Each command waits for the reply before it (the greeting first).
        FUZZ_CHECK(receivesBefore[2 * i] > (i == 0 ? 0 : receivesBefore[2 * i - 1]));
        FUZZ_CHECK(receivesBefore[2 * i + 1] == receivesBefore[2 * i]);
    }
    // The answer to QUIT is never awaited.
    if (outcome->commands == 4)
        FUZZ_CHECK(peer.deadlines().size() == receivesBefore.back());

    DebugTraceSink = nullptr;
    gProbeSettings = ProbeSettings{};
    return 0;
}
