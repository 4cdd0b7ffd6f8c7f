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

// While it lives, the socket's readiness (readable or closed; or its connect
// ended) sets an event of its own, and the socket does not block. A wait on
// that event wakes as soon as the bytes arrive; Wine's select wakes the thread
// late under load (on a 4 ms lattice here), which cost each reply that much.
class SocketWatch {
public:
    SocketWatch(SocketHandle socket, bool reading) : socket_(socket), event_(WSACreateEvent())
    {
        if (event_ != WSA_INVALID_EVENT &&
            WSAEventSelect(socket, event_, reading ? FD_READ | FD_CLOSE : FD_CONNECT) != 0) {
            WSACloseEvent(event_);
            event_ = WSA_INVALID_EVENT;
        }
    }
    SocketWatch(const SocketWatch&) = delete;
    SocketWatch& operator=(const SocketWatch&) = delete;
    ~SocketWatch()
    {
        if (event_ == WSA_INVALID_EVENT)
            return;
        // A socket leaves event selection before it can block again.
        WSAEventSelect(socket_, nullptr, 0);
        u_long nonBlocking = 0;
        ioctlsocket(socket_, FIONBIO, &nonBlocking);
        WSACloseEvent(event_);
    }

    bool Ready() const { return event_ != WSA_INVALID_EVENT; }

    // 1 when the socket can go on, 0 when the time ran out, -1 when it
    // failed (a refused or unreachable connect among them).
    int Wait(int ms)
    {
        const DWORD waited = WSAWaitForMultipleEvents(1, &event_, FALSE, static_cast<DWORD>(ms), FALSE);
        if (waited == WSA_WAIT_TIMEOUT)
            return 0;
        WSANETWORKEVENTS happened{};
        if (waited != WSA_WAIT_EVENT_0 || WSAEnumNetworkEvents(socket_, event_, &happened) != 0)
            return -1;
        if ((happened.lNetworkEvents & FD_CONNECT) != 0)
            return happened.iErrorCode[FD_CONNECT_BIT] == 0 ? 1 : -1;
        return 1;
    }

private:
    SocketHandle socket_;
    WSAEVENT event_;
};

bool ConnectPending()
{
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

#else

// While it lives, a socket that connects does not block; a read waits in
// poll, on a blocking socket.
class SocketWatch {
public:
    SocketWatch(SocketHandle socket, bool reading) : socket_(socket), reading_(reading)
    {
        if (!reading_)
            SetBlocking(false);
    }
    SocketWatch(const SocketWatch&) = delete;
    SocketWatch& operator=(const SocketWatch&) = delete;
    ~SocketWatch()
    {
        if (!reading_)
            SetBlocking(true);
    }

    bool Ready() const { return true; }

    int Wait(int ms)
    {
        pollfd watched{socket_, static_cast<short>(reading_ ? POLLIN : POLLOUT), 0};
        for (;;) {
            const int count = poll(&watched, 1, ms);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return count;
            if (reading_)
                return 1;
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size);
            return error == 0 ? 1 : -1;
        }
    }

private:
    void SetBlocking(bool blocking)
    {
        const int flags = fcntl(socket_, F_GETFL);
        fcntl(socket_, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
    }

    SocketHandle socket_;
    bool reading_;
};

bool ConnectPending()
{
    return errno == EINPROGRESS;
}

#endif

// With a stop word the wait is cut into slices, so that a monitor that ends
// does not wait for the bound of a check that hangs.
bool WaitUnlessStopped(SocketWatch& watch, int ms, const std::atomic<bool>* stop)
{
    if (!watch.Ready())
        return false;
    if (stop == nullptr)
        return watch.Wait(ms) > 0;
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (stop->load())
            return false;
        const int left = MillisecondsUntil(deadline);
        const int waited = watch.Wait(std::min(left, kStopLookMs));
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
    SocketWatch watch(socket, false);
    if (!watch.Ready())
        return -1;
    if (connect(socket, reinterpret_cast<const sockaddr*>(address.Bytes), static_cast<int>(address.Length)) == 0)
        return 0;
    return ConnectPending() && WaitUnlessStopped(watch, boundMs, stop) ? 0 : -1;
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
    SocketWatch watch(socket, true);
    if (!WaitUnlessStopped(watch, MillisecondsUntil(deadline), stop))
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
