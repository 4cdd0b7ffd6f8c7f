// The few socket calls the POP3 dialogue needs, over Winsock 1.1 in the
// program and over BSD sockets in the native build, so that the dialogue
// itself reads the same on both and can be tested natively.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#ifdef _WIN32
using SocketHandle = uintptr_t;  // Winsock's SOCKET
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

using Deadline = std::chrono::steady_clock::time_point;

// What inet_addr answers for a text that is no dotted quad.
inline constexpr uint32_t kBogusAddress = 0xFFFFFFFFu;

// IPv4 stream socket, protocol 0, that no started program inherits;
// kNoSocket on failure.
SocketHandle OpenStreamSocket();
void CloseSocket(SocketHandle socket);

// The first IPv4 address that the name service gives for the name, in
// network byte order.
std::optional<uint32_t> LookUpHostName(const char* name);

// The dotted-quad reading of the text in network byte order, or kBogusAddress.
uint32_t ParseDottedQuad(const char* text);

// How often a wait that has a stop word looks at it: the longest a set stop
// word leaves the check thread in a socket wait.
inline constexpr int kStopLookMs = 50;

// 0 when connected within boundMs, -1 otherwise, or as soon as `stop` (when
// given) is set. The socket is blocking again afterwards.
int ConnectWithin(SocketHandle socket, uint32_t address, uint16_t port, int boundMs,
                  const std::atomic<bool>* stop = nullptr);

// One send call, flags 0: how many bytes it took, which may be fewer than
// asked, or -1 on failure.
int SendBytes(SocketHandle socket, const char* bytes, size_t count);

// One recv call of at most `room` bytes once something has arrived before
// the deadline: how many came, or 0 when the peer closed, or -1 on failure,
// when the deadline passed or once `stop` (when given) is set.
int ReceiveBefore(SocketHandle socket, char* bytes, size_t room, Deadline deadline,
                  const std::atomic<bool>* stop = nullptr);

// The same calls as a table, which is how the dialogue reaches them: the
// program always uses kSystemSockets, a fuzz target or test a scripted peer
// held in memory. One indirect call is nothing beside a system call.
struct ProbeSockets {
    SocketHandle (*OpenStreamSocket)();
    void (*CloseSocket)(SocketHandle socket);
    std::optional<uint32_t> (*LookUpHostName)(const char* name);
    uint32_t (*ParseDottedQuad)(const char* text);
    int (*ConnectWithin)(SocketHandle socket, uint32_t address, uint16_t port, int boundMs,
                         const std::atomic<bool>* stop);
    int (*SendBytes)(SocketHandle socket, const char* bytes, size_t count);
    int (*ReceiveBefore)(SocketHandle socket, char* bytes, size_t room, Deadline deadline,
                         const std::atomic<bool>* stop);
};

inline constexpr ProbeSockets kSystemSockets{
    &OpenStreamSocket, &CloseSocket, &LookUpHostName, &ParseDottedQuad, &ConnectWithin, &SendBytes, &ReceiveBefore,
};

class UniqueSocket {
public:
    using Closer = void (*)(SocketHandle socket);
    explicit UniqueSocket(SocketHandle socket, Closer close = &CloseSocket) : socket_(socket), close_(close) {}
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;
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
