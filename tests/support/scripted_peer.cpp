// The scripted peer behind the probe's socket table.
#include "scripted_peer.h"

#include <algorithm>
#include <string>
#include <thread>
#include <utility>

namespace {

ScriptedPeer* gCurrent = nullptr;

// The peer's addresses are marked by their place in the list, so that it
// can tell whether the probe tries the ones it was given, in order.
constexpr int kPeerFamily = 46;

}  // namespace

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
    static SocketHandle Open(int family)
    {
        ScriptedPeer& peer = *gCurrent;
        if (peer.opened_ > peer.closed_)
            peer.misuse_ += "second socket while one is open; ";
        if (family != kPeerFamily)
            peer.misuse_ += "socket of a family never given; ";
        if (peer.script_.socketFails)
            return kNoSocket;
        ++peer.opened_;
        return kPeerSocket;
    }
    static void Close(SocketHandle socket)
    {
        if (gCurrent->Usable(socket, "close"))
            ++gCurrent->closed_;
    }
    static std::vector<ServerAddress> Resolve(const char*, uint16_t port)
    {
        gCurrent->resolvedPort_ = port;
        std::vector<ServerAddress> addresses;
        if (gCurrent->script_.resolveFails)
            return addresses;
        for (size_t i = 0; i <= gCurrent->script_.deadAddresses; ++i) {
            ServerAddress address;
            address.Family = kPeerFamily;
            address.Length = 1;
            address.Bytes[0] = static_cast<unsigned char>(i);
            addresses.push_back(address);
        }
        return addresses;
    }
    static int Connect(SocketHandle socket, const ServerAddress& address, int boundMs, const std::atomic<bool>*)
    {
        ScriptedPeer& peer = *gCurrent;
        if (!peer.Usable(socket, "connect"))
            return -1;
        const size_t tried = peer.connectBounds_.size();
        peer.connectBounds_.push_back(boundMs);
        if (address.Family != kPeerFamily || address.Bytes[0] != tried)
            peer.misuse_ += "connect to an address never given or out of turn; ";
        if (peer.connected_)
            peer.misuse_ += "second connect; ";
        if (tried < peer.script_.deadAddresses || peer.script_.connectFails)
            return -1;
        peer.connected_ = true;
        return 0;
    }
    static int Send(SocketHandle socket, const char* bytes, size_t count)
    {
        ScriptedPeer& peer = *gCurrent;
        if (!peer.Usable(socket, "send"))
            return -1;
        if (!peer.connected_)
            peer.misuse_ += "send before connect; ";
        if (peer.tlsUp_)
            peer.misuse_ += "plain send inside TLS; ";
        const size_t room = peer.script_.sendRoom;
        const size_t taken = room == 0 ? count : std::min(count, room);
        peer.sends_.emplace_back(bytes, taken);
        peer.receivesBeforeSend_.push_back(peer.receives_);
        peer.deliveredBeforeSend_.push_back(peer.delivered_);
        return static_cast<int>(taken);
    }
    static int Receive(SocketHandle socket, char* bytes, size_t room, Deadline deadline, const std::atomic<bool>*)
    {
        ScriptedPeer& peer = *gCurrent;
        if (!peer.Usable(socket, "recv"))
            return -1;
        if (!peer.connected_)
            peer.misuse_ += "recv before connect; ";
        if (peer.tlsUp_)
            peer.misuse_ += "plain recv inside TLS; ";
        return peer.Hand(bytes, room, deadline);
    }
    static TlsOutcome StartTls(SocketHandle socket, const char* hostName, Deadline, const std::atomic<bool>*,
                               TlsSession** session)
    {
        ScriptedPeer& peer = *gCurrent;
        *session = nullptr;
        if (!peer.Usable(socket, "TLS start"))
            return TlsOutcome::Failed;
        if (peer.tlsStarted_)
            peer.misuse_ += "second TLS start; ";
        peer.tlsStarted_ = true;
        peer.sendsBeforeTls_ = peer.sends_.size();
        peer.tlsHostName_ = hostName;
        if (peer.script_.tlsOutcome != TlsOutcome::Established)
            return peer.script_.tlsOutcome;
        peer.tlsUp_ = true;
        *session = reinterpret_cast<TlsSession*>(&peer);
        return TlsOutcome::Established;
    }
    static bool SecureUsable(TlsSession* session, SocketHandle socket, const char* call)
    {
        if (!gCurrent->Usable(socket, call))
            return false;
        if (session != reinterpret_cast<TlsSession*>(gCurrent) || !gCurrent->tlsUp_) {
            gCurrent->misuse_ += std::string(call) + " without a TLS session; ";
            return false;
        }
        return true;
    }
    static int SendSecure(TlsSession* session, SocketHandle socket, const char* bytes, size_t count)
    {
        if (!SecureUsable(session, socket, "secure send"))
            return -1;
        gCurrent->sends_.emplace_back(bytes, count);
        gCurrent->receivesBeforeSend_.push_back(gCurrent->receives_);
        gCurrent->deliveredBeforeSend_.push_back(gCurrent->delivered_);
        return static_cast<int>(count);
    }
    static int ReceiveSecure(TlsSession* session, SocketHandle socket, char* bytes, size_t room, Deadline deadline,
                             const std::atomic<bool>*)
    {
        if (!SecureUsable(session, socket, "secure recv"))
            return -1;
        return gCurrent->Hand(bytes, room, deadline);
    }
    static void EndTls(TlsSession* session, SocketHandle socket)
    {
        if (SecureUsable(session, socket, "TLS end")) {
            gCurrent->tlsUp_ = false;
            gCurrent->tlsEnded_ = true;
        }
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
        &Calls::Open,    &Calls::Close,    &Calls::Resolve,    &Calls::Connect,       &Calls::Send,
        &Calls::Receive, &Calls::StartTls, &Calls::SendSecure, &Calls::ReceiveSecure, &Calls::EndTls,
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
    if (socket != kPeerSocket || opened_ == closed_) {
        misuse_ += std::string(call) + " on a socket not open; ";
        return false;
    }
    return true;
}

int ScriptedPeer::Hand(char* bytes, size_t room, Deadline deadline)
{
    if (room == 0)
        misuse_ += "recv into no room; ";
    if (receives_++ == 0 || deadline != lastDeadline_)
        ++deadlineChanges_;
    lastDeadline_ = deadline;
    while (piece_ < script_.pieces.size() && offset_ == script_.pieces[piece_].size()) {
        const bool again =
            piece_ + 1 == script_.pieces.size() && delivered_ < script_.repeatedUpTo && !script_.pieces[piece_].empty();
        piece_ += again ? 0 : 1;
        offset_ = 0;
    }
    if (piece_ == script_.pieces.size()) {
        if (script_.silentAtEnd)
            std::this_thread::sleep_until(deadline);
        return script_.endsInFailure || script_.silentAtEnd ? -1 : 0;
    }
    const std::string& piece = script_.pieces[piece_];
    const size_t count = std::min(room, piece.size() - offset_);
    piece.copy(bytes, count, offset_);
    offset_ += count;
    delivered_ += count;
    return static_cast<int>(count);
}

std::vector<std::string> LineByLine(const std::string& server)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < server.size();) {
        const size_t end = std::min(server.find('\n', at), server.size() - 1) + 1;
        lines.push_back(server.substr(at, end - at));
        at = end;
    }
    return lines;
}

AccessTokenSource ScriptedTokens::Source()
{
    return [this](bool renew) {
        Requests.push_back(renew);
        const size_t request = Requests.size();
        const AccessTokenOutcome outcome =
            request <= Outcomes.size() ? Outcomes[request - 1] : AccessTokenOutcome::Token;
        return AccessTokenReply{outcome, outcome == AccessTokenOutcome::Token ? Token(request) : std::string()};
    };
}

std::string ScriptedTokens::Token(size_t request) const
{
    std::string token = "TOKEN-" + std::to_string(request);
    token.resize(std::max(Length, token.size()), '.');
    return token;
}
