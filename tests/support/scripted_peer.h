// A POP3 server held in memory, put in place of the probe's sockets: every
// byte the probe reads comes from a script, split into the pieces a real
// server's segments would arrive in, and every send is recorded. The fuzz
// targets read the script from their input; it also lets a test deliver what
// no well-behaved server on loopback would (NUL bytes, a cut-off reply).
// Beside it, the token source of a host that signs in with OAuth.
#pragma once

#include "probe_result.h"
#include "socket_table.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PeerScript {
    bool socketFails = false;
    bool resolveFails = false;
    // The name has this many addresses before the one that answers, and
    // each of them refuses the connect.
    size_t deadAddresses = 0;
    bool connectFails = false;  // the last address refuses too
    // What starting TLS comes to; once established, the pieces below go on
    // as the decrypted stream.
    TlsOutcome tlsOutcome = TlsOutcome::Established;
    // What the server sends, one entry per segment; one recv hands out at
    // most the rest of one segment.
    std::vector<std::string> pieces;
    // The most bytes one send takes, as a full send buffer would; 0 takes all.
    size_t sendRoom = 0;
    // After the last piece the server closes (recv gives 0), or the wait for
    // the next byte fails (-1, as a reset or a passed deadline would).
    bool endsInFailure = false;
    // The last piece comes again and again until this many bytes were
    // handed out in all, as from a server that never stops sending.
    size_t repeatedUpTo = 0;
    // After the last piece the server is silent: the wait lasts until its
    // deadline and then fails.
    bool silentAtEnd = false;
};

// Reads the server's side from fuzzer bytes: pieces, each a length byte
// 1..255 and that many bytes (fewer when the input ends); a length byte 0 is
// followed by an order byte: 0 mod 4 the server closes, 1 the wait fails,
// 2 a run of the next byte as often as 64 times the byte after it (so that
// lines far beyond any limit fit into a small input), 3 the wait fails. The
// end of the input closes.
void ReadServerSide(const uint8_t* data, size_t size, PeerScript& script);

// The server's side in pieces of one line each.
std::vector<std::string> LineByLine(const std::string& server);

// The peer's own socket: the only handle the probe may use.
inline constexpr SocketHandle kPeerSocket = 7;

class ScriptedPeer {
public:
    // Only one peer is current at a time; it answers the calls made through
    // Sockets().
    explicit ScriptedPeer(PeerScript script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    static const ProbeSockets& Sockets();

    // For the line reader alone: the socket as the dialogue leaves it after
    // a successful connect.
    void StartConnected();

    // What each send call took, in order.
    const std::vector<std::string>& sends() const { return sends_; }
    // Bytes handed out by recv so far.
    size_t delivered() const { return delivered_; }
    size_t receives() const { return receives_; }
    // How often a recv came with another deadline than the recv before it.
    size_t deadlineChanges() const { return deadlineChanges_; }
    // For each send, how many recv calls came before it.
    const std::vector<size_t>& receivesBeforeSend() const { return receivesBeforeSend_; }
    // For each send, how many bytes the probe had read before it.
    const std::vector<size_t>& deliveredBeforeSend() const { return deliveredBeforeSend_; }
    int opened() const { return opened_; }
    int closed() const { return closed_; }
    bool connected() const { return connected_; }
    // The port the name was resolved with (0 before).
    uint16_t resolvedPort() const { return resolvedPort_; }
    // The bound each connect was given, in order.
    const std::vector<int>& connectBounds() const { return connectBounds_; }
    // How many sends went out before TLS was asked for (all of them when
    // it never was), the name it was asked for, and whether it was ended.
    size_t sendsBeforeTls() const { return tlsStarted_ ? sendsBeforeTls_ : sends_.size(); }
    bool tlsStarted() const { return tlsStarted_; }
    const std::string& tlsHostName() const { return tlsHostName_; }
    bool tlsEnded() const { return tlsEnded_; }
    // Calls that correct code never makes: a foreign or closed handle, data
    // before the connect, a second close. Empty when all was well.
    const std::string& misuse() const { return misuse_; }

private:
    struct Calls;
    bool Usable(SocketHandle socket, const char* call);
    // The next bytes of the script, as one recv hands them out.
    int Hand(char* bytes, size_t room, Deadline deadline);

    PeerScript script_;
    size_t piece_ = 0;
    size_t offset_ = 0;
    size_t delivered_ = 0;
    std::vector<std::string> sends_;
    size_t receives_ = 0;
    Deadline lastDeadline_{};
    size_t deadlineChanges_ = 0;
    std::vector<size_t> receivesBeforeSend_;
    std::vector<size_t> deliveredBeforeSend_;
    int opened_ = 0;
    int closed_ = 0;
    bool connected_ = false;
    uint16_t resolvedPort_ = 0;
    std::vector<int> connectBounds_;
    bool tlsStarted_ = false;
    bool tlsUp_ = false;
    size_t sendsBeforeTls_ = 0;
    std::string tlsHostName_;
    bool tlsEnded_ = false;
    std::string misuse_;
};

// The access tokens of an OAuth host beside the peer: request n (from 1)
// gets "TOKEN-n", padded with '.' to Length, unless Outcomes holds another
// outcome for it. Requests records each request's `renew`.
struct ScriptedTokens {
    std::vector<AccessTokenOutcome> Outcomes;
    size_t Length = 0;
    std::vector<bool> Requests = {};

    AccessTokenSource Source();
    std::string Token(size_t request) const;
};
