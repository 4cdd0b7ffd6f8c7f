// The few socket calls the mail dialogues need, over Winsock 2 in the
// program and over BSD sockets in the native build, so that a dialogue
// itself reads the same on both and can be tested natively.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#ifdef _WIN32
using SocketHandle = uintptr_t;  // Winsock's SOCKET
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

using Deadline = std::chrono::steady_clock::time_point;

// The whole milliseconds left before the deadline; 0 once it has passed.
int MillisecondsUntil(Deadline deadline);

// One address of a server, port included: the socket address (IPv4 or
// IPv6) as the name service gave it, kept as bytes so that the dialogue
// needs no socket header.
struct ServerAddress {
    int Family = 0;       // AF_INET or AF_INET6 of the system
    uint32_t Length = 0;  // of the socket address in Bytes
    alignas(8) unsigned char Bytes[28] = {};
};

// The address family of an IPv4 socket (AF_INET); the default of
// OpenStreamSocket.
extern const int kIPv4;

// A stream socket of the family, protocol 0, that no started program
// inherits; kNoSocket on failure.
SocketHandle OpenStreamSocket(int family = kIPv4);
void CloseSocket(SocketHandle socket);

// Every address of the name with the port (getaddrinfo: IPv6 and IPv4, in
// the order the system prefers; a literal of either family is its own
// address), or none when the name is unknown.
std::vector<ServerAddress> ResolveHost(const char* name, uint16_t port);

// How often a socket wait looks at its stop word: the longest a set stop
// word leaves the check thread in a socket wait.
inline constexpr int kStopLookMs = 50;

// 0 when connected within boundMs, -1 otherwise, or as soon as `stop` (when
// given) is set. From then on the socket does not block: a send that the
// system cannot take at once fails rather than waits (a dialogue's lines are
// far smaller than a socket's buffer).
int ConnectWithin(SocketHandle socket, const ServerAddress& address, int boundMs,
                  const std::atomic<bool>* stop = nullptr);

// One send call, flags 0: how many bytes it took, which may be fewer than
// asked, or -1 on failure.
int SendBytes(SocketHandle socket, const char* bytes, size_t count);

// At most `room` bytes of what has arrived before the deadline, on a socket
// that ConnectWithin connected: how many came, or 0 when the peer closed, or
// -1 on failure, once the deadline has passed (even while bytes keep coming)
// or once `stop` (when given) is set.
int ReceiveBefore(SocketHandle socket, char* bytes, size_t room, Deadline deadline,
                  const std::atomic<bool>* stop = nullptr);

class UniqueSocket {
public:
    using Closer = void (*)(SocketHandle socket);
    explicit UniqueSocket(SocketHandle socket, Closer close = &CloseSocket) : socket_(socket), close_(close) {}
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;
    UniqueSocket(UniqueSocket&& other) noexcept : socket_(std::exchange(other.socket_, kNoSocket)), close_(other.close_)
    {
    }
    ~UniqueSocket()
    {
        if (socket_ != kNoSocket)
            close_(socket_);
    }

    SocketHandle get() const { return socket_; }
    explicit operator bool() const { return socket_ != kNoSocket; }
    void reset()
    {
        if (socket_ != kNoSocket)
            close_(std::exchange(socket_, kNoSocket));
    }

private:
    SocketHandle socket_;
    Closer close_;
};
