// Any bytes from the server, in any pieces: ReceiveLine hands out the lines
// of what arrived one after the other, each without CR, cut to its first
// characters, whole inside the connection's reply buffer, and receives
// nothing once its line feed has come; a server that never ends a line, or
// drowns it, gets no line.
#include "fuzz_check.h"
#include "probe_connection.h"
#include "support/scripted_peer.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// What the line from `at` must read: CRs dropped, the rest kept up to the
// limit.
std::string ExpectedLine(const std::string& stream, size_t at, size_t lineFeed)
{
    std::string line;
    for (size_t i = at; i < lineFeed; ++i) {
        if (stream[i] != '\r')
            line += stream[i];
    }
    line.resize(std::min(line.size(), kReplyLineKept));
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PeerScript script;
    ReadServerSide(data, size, script);
    std::string stream;
    for (const std::string& piece : script.pieces)
        stream += piece;

    ScriptedPeer peer(script);
    peer.StartConnected();
    ProbeSettings settings;
    settings.Sockets = &ScriptedPeer::Sockets();
    ProbeConnection connection(kPeerSocket, settings);

    for (size_t at = 0;;) {
        const size_t changes = peer.deadlineChanges();
        const char* line = ReceiveLine(connection);
        // One reading call waits for its whole line against one deadline.
        FUZZ_CHECK(peer.deadlineChanges() <= changes + 1);

        const size_t lineFeed = stream.find('\n', at);
        if (lineFeed == std::string::npos || lineFeed - at > kReplyLineLimit) {
            FUZZ_CHECK(line == nullptr);
            // A drowned line is given up at the limit, not read to its end:
            // the recv that brought the byte too many was the last.
            FUZZ_CHECK(peer.delivered() <= at + kReplyLineLimit + kReceiveRoom);
            break;
        }
        FUZZ_CHECK(line != nullptr);
        FUZZ_CHECK(line == connection.Reply);  // the connection's reply buffer

        // Every byte up to the terminator, including those after a NUL from
        // the server, lies inside the buffer and is the server's.
        const std::string expected = ExpectedLine(stream, at, lineFeed);
        FUZZ_CHECK(expected.size() <= kReplyLineKept);
        FUZZ_CHECK(std::memcmp(line, expected.data(), expected.size()) == 0);
        FUZZ_CHECK(line[expected.size()] == '\0');
        const size_t length = std::strlen(line);
        FUZZ_CHECK(length <= kReplyLineKept);
        FUZZ_CHECK(std::memchr(line, '\r', length) == nullptr && std::memchr(line, '\n', length) == nullptr);

        // Bytes beyond the line feed came only with the recv that brought it;
        // the next line starts with them (checked in the next round).
        FUZZ_CHECK(peer.delivered() > lineFeed);
        FUZZ_CHECK(peer.delivered() <= lineFeed + kReceiveRoom);
        at = lineFeed + 1;
    }
    FUZZ_CHECK(peer.misuse().empty());
    return 0;
}
