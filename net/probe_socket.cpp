// Winsock 2 and BSD sockets differ in names and in how a pending connect
// and a bounded wait are spelled; everything else is the same call.
#include "probe_socket.h"

#include "tls_session.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Frees what getaddrinfo handed out.
struct AddressListFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};


#ifdef _WIN32

void SetBlocking(SocketHandle socket, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
}

// Waits until the socket can be read (reading) or its connect has ended: 1
// when it can go on, 0 when the time ran out, -1 when it failed.
int WaitFor(SocketHandle socket, bool reading, int ms)
{
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval bound{ms / 1000, (ms % 1000) * 1000};
    const int count = reading ? select(0, &ready, nullptr, &failed, &bound) : select(0, nullptr, &ready, &failed, &bound);
    if (count == 0)
        return 0;
    return count > 0 && FD_ISSET(socket, &ready) ? 1 : -1;
}

bool ConnectPending()
{
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

#else

void SetBlocking(SocketHandle socket, bool blocking)
{
    const int flags = fcntl(socket, F_GETFL);
    fcntl(socket, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

int WaitFor(SocketHandle socket, bool reading, int ms)
{
    pollfd watched{socket, static_cast<short>(reading ? POLLIN : POLLOUT), 0};
    for (;;) {
        const int count = poll(&watched, 1, ms);
        if (count < 0 && errno == EINTR)
            continue;
        return count > 0 ? 1 : (count == 0 ? 0 : -1);
    }
}

bool ConnectPending()
{
    return errno == EINPROGRESS;
}

#endif

// With a stop word the wait is cut into slices, so that a monitor that ends
// does not wait for the bound of a check that hangs.
bool WaitUnlessStopped(SocketHandle socket, bool reading, int ms, const std::atomic<bool>* stop)
{
    if (stop == nullptr)
        return WaitFor(socket, reading, ms) > 0;
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (stop->load())
            return false;
        const int left = MillisecondsUntil(deadline);
        const int waited = WaitFor(socket, reading, std::min(left, kStopLookMs));
        if (waited != 0 || left <= kStopLookMs)
            return waited > 0;
    }
}

} // namespace

const int kIPv4 = AF_INET;

int MillisecondsUntil(Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}


SocketHandle OpenStreamSocket(int family)
{
    const auto opened = socket(family, SOCK_STREAM, 0);
#ifdef _WIN32
    if (opened == INVALID_SOCKET)
        return kNoSocket;
    // Winsock's sockets are inheritable: a program started while a check
    // runs would hold its connection, and the server may keep the mailbox
    // locked, for as long as that program lives.
    SetHandleInformation(reinterpret_cast<HANDLE>(opened), HANDLE_FLAG_INHERIT, 0);
    return static_cast<SocketHandle>(opened);
#else
    return opened < 0 ? kNoSocket : opened;
#endif
}

void CloseSocket(SocketHandle socket)
{
#ifdef _WIN32
    closesocket(socket);
#else
    close(socket);
#endif
}

std::vector<ServerAddress> ResolveHost(const char* name, uint16_t port)
{
    addrinfo wanted{};
    wanted.ai_family = AF_UNSPEC;
    wanted.ai_socktype = SOCK_STREAM;
    const std::string service = std::to_string(port);
    addrinfo* found = nullptr;
    if (getaddrinfo(name, service.c_str(), &wanted, &found) != 0)
        return {};
    const std::unique_ptr<addrinfo, AddressListFree> owned(found);
    std::vector<ServerAddress> addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        ServerAddress address;
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) ||
            entry->ai_addrlen > sizeof address.Bytes)
            continue;
        address.Family = entry->ai_family;
        address.Length = static_cast<uint32_t>(entry->ai_addrlen);
        std::memcpy(address.Bytes, entry->ai_addr, entry->ai_addrlen);
        addresses.push_back(address);
    }
    return addresses;
}

int ConnectWithin(SocketHandle socket, const ServerAddress& address, int boundMs, const std::atomic<bool>* stop)
{
    SetBlocking(socket, false);
    int result = connect(socket, reinterpret_cast<const sockaddr*>(address.Bytes), static_cast<int>(address.Length));
    if (result != 0 && ConnectPending()) {
        result = -1;
        if (WaitUnlessStopped(socket, false, boundMs, stop)) {
            int error = 0;
#ifdef _WIN32
            int size = sizeof error;
            getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
#else
            socklen_t size = sizeof error;
            getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size);
#endif
            result = error == 0 ? 0 : -1;
        }
    }
    SetBlocking(socket, true);
    return result == 0 ? 0 : -1;
}

int SendBytes(SocketHandle socket, const char* bytes, size_t count)
{
#ifdef _WIN32
    return send(socket, bytes, static_cast<int>(count), 0);
#else
    // A peer that has gone must not end the whole program with SIGPIPE.
    return static_cast<int>(send(socket, bytes, count, MSG_NOSIGNAL));
#endif
}

int ReceiveBefore(SocketHandle socket, char* bytes, size_t room, Deadline deadline, const std::atomic<bool>* stop)
{
    if (!WaitUnlessStopped(socket, true, MillisecondsUntil(deadline), stop))
        return -1;
#ifdef _WIN32
    const int received = recv(socket, bytes, static_cast<int>(room), 0);
#else
    const auto received = recv(socket, bytes, room, 0);
#endif
    return received > 0 ? static_cast<int>(received) : (received == 0 ? 0 : -1);
}

const ProbeSockets& SystemSockets()
{
    static constexpr ProbeSockets sockets{
        &OpenStreamSocket, &CloseSocket, &ResolveHost, &ConnectWithin, &SendBytes, &ReceiveBefore,
        &StartTlsSession,         &SendSecure,  &ReceiveSecure, &EndTlsSession,
    };
    return sockets;
}
