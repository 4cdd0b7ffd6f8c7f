// Winsock 2 and BSD sockets differ in names and in how a pending connect
// and a bounded wait are spelled; everything else is the same call.
#include "probe_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include "win_handles.h"

#include <mutex>
#include <unordered_map>
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

// The event of each socket that ConnectWithin has started, until
// CloseSocket: the socket sets it (auto-reset) when its connect ends or
// bytes or the close arrive. A wait on it wakes as soon as a reply arrives,
// where Wine's select woke the thread late under load (on a 4 ms lattice
// here), and a reply costs one wait and one recv, no call more.
class SocketEvents {
public:
    // Makes the socket's event and ties it to the socket, which does not
    // block from now on; nullptr on failure.
    HANDLE Watch(SocketHandle socket)
    {
        UniqueKernelHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        if (!event || WSAEventSelect(socket, event.get(), FD_CONNECT | FD_READ | FD_CLOSE) != 0)
            return nullptr;
        const std::lock_guard<std::mutex> lock(mutex_);
        return (events_[socket] = std::move(event)).get();
    }

    // The socket's event, or nullptr for a socket that ConnectWithin never
    // started.
    HANDLE Find(SocketHandle socket)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = events_.find(socket);
        return found != events_.end() ? found->second.get() : nullptr;
    }

    // After the socket is closed, so that no event of a closed socket's
    // handle is ever set again.
    void Forget(SocketHandle socket)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        events_.erase(socket);
    }

private:
    std::mutex mutex_;
    std::unordered_map<SocketHandle, UniqueKernelHandle> events_;
};

// Process-wide because a socket handle is all that the table's calls pass:
// the check thread and a test's threads share it under its lock.
SocketEvents gSocketEvents;

bool MakeNonBlocking(SocketHandle socket)
{
    return gSocketEvents.Watch(socket) != nullptr;
}

bool ConnectPending()
{
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

// 1 when the connect has succeeded, 0 when the time ran out, -1 when it
// failed.
int WaitForConnect(SocketHandle socket, int ms)
{
    const HANDLE event = gSocketEvents.Find(socket);
    if (event == nullptr)
        return -1;
    if (WaitForSingleObject(event, static_cast<DWORD>(ms)) == WAIT_TIMEOUT)
        return 0;
    WSANETWORKEVENTS happened{};
    if (WSAEnumNetworkEvents(socket, nullptr, &happened) != 0)
        return -1;
    // Reading the record clears it: a greeting that came with the connect
    // must still wake the first wait for bytes.
    if ((happened.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0)
        SetEvent(event);
    if ((happened.lNetworkEvents & FD_CONNECT) == 0)
        return 0;
    return happened.iErrorCode[FD_CONNECT_BIT] == 0 ? 1 : -1;
}

// Until bytes or the close may have arrived, or for ms at most; false for a
// socket that ConnectWithin never started.
bool WaitForBytes(SocketHandle socket, int ms)
{
    const HANDLE event = gSocketEvents.Find(socket);
    if (event == nullptr)
        return false;
    WaitForSingleObject(event, static_cast<DWORD>(ms));
    return true;
}

int ReceiveNow(SocketHandle socket, char* bytes, size_t room)
{
    return recv(socket, bytes, static_cast<int>(room), 0);
}

bool WouldBlock()
{
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

#else

bool MakeNonBlocking(SocketHandle socket)
{
    const int flags = fcntl(socket, F_GETFL);
    return flags != -1 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool ConnectPending()
{
    return errno == EINPROGRESS;
}

int Poll(SocketHandle socket, short events, int ms)
{
    pollfd watched{socket, events, 0};
    for (;;) {
        const int count = poll(&watched, 1, ms);
        if (count >= 0 || errno != EINTR)
            return count;
    }
}

int WaitForConnect(SocketHandle socket, int ms)
{
    const int count = Poll(socket, POLLOUT, ms);
    if (count <= 0)
        return count;
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size);
    return error == 0 ? 1 : -1;
}

bool WaitForBytes(SocketHandle socket, int ms)
{
    Poll(socket, POLLIN, ms);
    return true;
}

int ReceiveNow(SocketHandle socket, char* bytes, size_t room)
{
    return static_cast<int>(recv(socket, bytes, room, MSG_DONTWAIT));
}

bool WouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

#endif

// Every wait is cut into slices: a monitor that ends does not wait for the
// bound of a check that hangs, and a wake-up that never came costs a slice.
int Slice(int leftMs)
{
    return std::min(leftMs, kStopLookMs);
}

}  // namespace

const int kIPv4 = AF_INET;

int MillisecondsUntil(Deadline deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
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
    gSocketEvents.Forget(socket);
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
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) || entry->ai_addrlen > sizeof address.Bytes)
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
    if (!MakeNonBlocking(socket))
        return -1;
    if (connect(socket, reinterpret_cast<const sockaddr*>(address.Bytes), static_cast<int>(address.Length)) == 0)
        return 0;
    if (!ConnectPending())
        return -1;
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    for (;;) {
        if (stop != nullptr && stop->load())
            return -1;
        const int left = MillisecondsUntil(deadline);
        const int waited = WaitForConnect(socket, Slice(left));
        if (waited != 0)
            return waited > 0 ? 0 : -1;
        if (left <= Slice(left))
            return -1;
    }
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
    // A wake-up is only a hint: the recv decides. One that never came (a
    // close that came with the last bytes) costs a slice, never the bound.
    for (;;) {
        if (stop != nullptr && stop->load())
            return -1;
        // Looked at before every receive, not only when one would block: a
        // peer that never stops sending must not hold the check past it.
        const int left = MillisecondsUntil(deadline);
        if (left == 0)
            return -1;
        if (!WaitForBytes(socket, Slice(left)))
            return -1;
        const int received = ReceiveNow(socket, bytes, room);
        if (received >= 0)
            return received;
        if (!WouldBlock() || left <= Slice(left))
            return -1;
    }
}
