// The scripted peer behind the probe's socket table.
#include "scripted_peer.h"

#include <algorithm>
#include <utility>

namespace {

ScriptedPeer* gCurrent = nullptr;

// Addresses in network byte order that the peer hands out, so that it can
// tell whether the probe connects to the one it was given.
constexpr uint32_t kLookedUpAddress = 0x0700000Au;  // 10.0.0.7
constexpr uint32_t kParsedAddress = 0x0702000Au;    // 10.0.2.7

} // namespace

void ReadServerSide(const uint8_t* data, size_t size, PeerScript& script)
{
    size_t at = 0;
    while (at < size) {
        const size_t length = data[at++];
        if (length > 0) {
            const size_t taken = std::min(length, size - at);
            script.pieces.emplace_back(reinterpret_cast<const char*>(data + at), taken);
            at += taken;
            continue;
        }
        if (at == size)
            return;
        const uint8_t order = data[at++] % 4;
        if (order == 2) {
            if (size - at < 2)
                return;
            script.pieces.emplace_back(size_t{64} * data[at + 1], static_cast<char>(data[at]));
            at += 2;
            continue;
        }
        script.endsInFailure = order != 0;
        return;
    }
}

struct ScriptedPeer::Calls {
    static SocketHandle Open()
    {
        ++gCurrent->opened_;
        if (gCurrent->opened_ > 1)
            gCurrent->misuse_ += "second socket; ";
        return gCurrent->script_.socketFails ? kNoSocket : kPeerSocket;
    }
    static void Close(SocketHandle socket)
    {
        if (gCurrent->Usable(socket, "close"))
            ++gCurrent->closed_;
    }
    static std::optional<uint32_t> LookUp(const char*)
    {
        if (gCurrent->script_.lookupFails)
            return std::nullopt;
        return kLookedUpAddress;
    }
    static uint32_t Parse(const char*)
    {
        if (!gCurrent->script_.lookupFails)
            gCurrent->misuse_ += "parsed a name that resolved; ";
        return gCurrent->script_.addressBogus ? kBogusAddress : kParsedAddress;
    }
    static int Connect(SocketHandle socket, uint32_t address, uint16_t, int, const std::atomic<bool>*)
    {
        if (!gCurrent->Usable(socket, "connect"))
            return -1;
        const uint32_t expected = gCurrent->script_.lookupFails ? kParsedAddress : kLookedUpAddress;
        if (address != expected)
            gCurrent->misuse_ += "connect to an address never given; ";
        if (gCurrent->connected_)
            gCurrent->misuse_ += "second connect; ";
        if (gCurrent->script_.connectFails)
            return -1;
        gCurrent->connected_ = true;
        return 0;
    }
    static int Send(SocketHandle socket, const char* bytes, size_t count)
    {
        if (!gCurrent->Usable(socket, "send"))
            return -1;
        if (!gCurrent->connected_)
            gCurrent->misuse_ += "send before connect; ";
        const size_t room = gCurrent->script_.sendRoom;
        const size_t taken = room == 0 ? count : std::min(count, room);
        gCurrent->sends_.emplace_back(bytes, taken);
        gCurrent->receivesBeforeSend_.push_back(gCurrent->receives_);
        gCurrent->deliveredBeforeSend_.push_back(gCurrent->delivered_);
        return static_cast<int>(taken);
    }
    static int Receive(SocketHandle socket, char* bytes, size_t room, Deadline deadline, const std::atomic<bool>*)
    {
        ScriptedPeer& peer = *gCurrent;
        if (!peer.Usable(socket, "recv"))
            return -1;
        if (!peer.connected_)
            peer.misuse_ += "recv before connect; ";
        if (room == 0)
            peer.misuse_ += "recv into no room; ";
        if (peer.receives_++ == 0 || deadline != peer.lastDeadline_)
            ++peer.deadlineChanges_;
        peer.lastDeadline_ = deadline;
        while (peer.piece_ < peer.script_.pieces.size() && peer.offset_ == peer.script_.pieces[peer.piece_].size()) {
            ++peer.piece_;
            peer.offset_ = 0;
        }
        if (peer.piece_ == peer.script_.pieces.size())
            return peer.script_.endsInFailure ? -1 : 0;
        const std::string& piece = peer.script_.pieces[peer.piece_];
        const size_t count = std::min(room, piece.size() - peer.offset_);
        piece.copy(bytes, count, peer.offset_);
        peer.offset_ += count;
        peer.delivered_ += count;
        return static_cast<int>(count);
    }
};

ScriptedPeer::ScriptedPeer(PeerScript script) : script_(std::move(script))
{
    if (gCurrent != nullptr)
        misuse_ += "two peers at once; ";
    gCurrent = this;
}

ScriptedPeer::~ScriptedPeer()
{
    gCurrent = nullptr;
}

const ProbeSockets& ScriptedPeer::Sockets()
{
    static constexpr ProbeSockets sockets{
        &Calls::Open, &Calls::Close, &Calls::LookUp, &Calls::Parse, &Calls::Connect, &Calls::Send, &Calls::Receive,
    };
    return sockets;
}

void ScriptedPeer::StartConnected()
{
    opened_ = 1;
    connected_ = true;
}

bool ScriptedPeer::Usable(SocketHandle socket, const char* call)
{
    if (socket != kPeerSocket || opened_ == 0 || script_.socketFails) {
        misuse_ += std::string(call) + " on a socket never opened; ";
        return false;
    }
    if (closed_ > 0) {
        misuse_ += std::string(call) + " after close; ";
        return false;
    }
    return true;
}
