// A POP3 server held in memory, put in place of the probe's sockets: every
// byte the probe reads comes from a script, split into the pieces a real
// server's segments would arrive in, and every send is recorded. The fuzz
// targets read the script from their input; it also lets a test deliver what
// no well-behaved server on loopback would (NUL bytes, a cut-off reply).
#pragma once

#include "probe_socket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PeerScript {
    bool socketFails = false;
    bool lookupFails = false;
    bool addressBogus = false;  // only asked when the lookup fails
    bool connectFails = false;
    // What the server sends, one entry per segment; one recv hands out at
    // most the rest of one segment.
    std::vector<std::string> pieces;
    // The most bytes one send takes, as a full send buffer would; 0 takes all.
    size_t sendRoom = 0;
    // After the last piece the server closes (recv gives 0), or the wait for
    // the next byte fails (-1, as a reset or a passed deadline would).
    bool endsInFailure = false;
};

// Reads the server's side from fuzzer bytes: pieces, each a length byte
// 1..255 and that many bytes (fewer when the input ends); a length byte 0 is
// followed by an order byte: 0 mod 4 the server closes, 1 the wait fails,
// 2 a run of the next byte as often as 64 times the byte after it (so that
// lines far beyond any limit fit into a small input), 3 the wait fails. The
// end of the input closes.
void ReadServerSide(const uint8_t* data, size_t size, PeerScript& script);

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
    // Calls that correct code never makes: a foreign or closed handle, data
    // before the connect, a second close. Empty when all was well.
    const std::string& misuse() const { return misuse_; }

private:
    struct Calls;
    bool Usable(SocketHandle socket, const char* call);

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
    std::string misuse_;
};
