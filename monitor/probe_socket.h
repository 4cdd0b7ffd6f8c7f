// The few socket calls the POP3 dialogue needs, over Winsock 1.1 in the
// program and over BSD sockets in the native build, so that the dialogue
// itself reads the same on both and can be tested natively.
#pragma once

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

// IPv4 stream socket, protocol 0; kNoSocket on failure.
SocketHandle OpenStreamSocket();
void CloseSocket(SocketHandle socket);

// The first IPv4 address that the name service gives for the name, in
// network byte order.
std::optional<uint32_t> LookUpHostName(const char* name);

// The dotted-quad reading of the text in network byte order, or kBogusAddress.
uint32_t ParseDottedQuad(const char* text);

// 0 when connected within boundMs, -1 otherwise. The socket is blocking
// again afterwards.
int ConnectWithin(SocketHandle socket, uint32_t address, uint16_t port, int boundMs);

// One send call, flags 0; a failure shows up as a missing reply later.
void SendBytes(SocketHandle socket, const char* bytes, size_t count);

// Receives exactly one byte if one arrives before the deadline: 1, or 0 when
// the peer closed, or -1 on failure or when the deadline passed.
int ReceiveByteBefore(SocketHandle socket, char* byte, Deadline deadline);

class UniqueSocket {
public:
    explicit UniqueSocket(SocketHandle socket) : socket_(socket) {}
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;
    ~UniqueSocket()
    {
        if (socket_ != kNoSocket)
            CloseSocket(socket_);
    }

    SocketHandle get() const { return socket_; }
    explicit operator bool() const { return socket_ != kNoSocket; }
    void reset()
    {
        if (socket_ != kNoSocket)
            CloseSocket(std::exchange(socket_, kNoSocket));
    }

private:
    SocketHandle socket_;
};
