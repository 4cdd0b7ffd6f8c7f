// The scripted POP3 server's socket work; Winsock under Wine, BSD natively.
#include "pop3_script_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>
#include <string>

namespace {

#ifdef _WIN32
void CloseHandleOf(uintptr_t socket)
{
    closesocket(socket);
}
constexpr int kSendFlags = 0;
#else
void CloseHandleOf(int socket)
{
    close(socket);
}
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

void Pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

ScriptStep Say(std::string text, bool bytePerSegment)
{
    return {ScriptStep::Say, std::move(text), bytePerSegment, 0};
}

ScriptStep Await()
{
    return {ScriptStep::Await, "", false, 0};
}

ScriptStep Hang()
{
    return {ScriptStep::Hang, "", false, 0};
}

ScriptStep Drip(std::string text, int intervalMs)
{
    return {ScriptStep::Drip, std::move(text), true, intervalMs};
}

Script ScriptedPop3Session(const std::string& statReply, const std::string& greeting)
{
    return {Say(greeting),       Await(), Say(kCapaAnswer),         Await(),
            Say("+OK user\r\n"), Await(), Say("+OK logged in\r\n"), Await(),
            Say(statReply)};
}

Pop3ScriptServer::Pop3ScriptServer(std::vector<Script> scripts, const char* address, uint16_t port)
    : scripts_(std::move(scripts))
{
#ifdef _WIN32
    WSADATA data;
    WSAStartup(0x0202, &data);
#endif
    // An IPv4 or IPv6 literal.
    addrinfo wanted{};
    wanted.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    wanted.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(address, std::to_string(port).c_str(), &wanted, &found) != 0)
        return;
    const int family = found->ai_family;
    sockaddr_storage local{};
    std::memcpy(&local, found->ai_addr, found->ai_addrlen);
    const auto length = found->ai_addrlen;
    freeaddrinfo(found);
#ifdef _WIN32
    const SOCKET opened = socket(family, SOCK_STREAM, 0);
    if (opened == INVALID_SOCKET)
        return;
#else
    const int opened = socket(family, SOCK_STREAM, 0);
    if (opened < 0)
        return;
#endif
    Handle listener = static_cast<Handle>(opened);
    int reuse = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&local), static_cast<int>(length)) != 0 ||
        listen(listener, 5) != 0) {
        CloseHandleOf(listener);
        return;
    }
#ifdef _WIN32
    int size = sizeof local;
#else
    socklen_t size = sizeof local;
#endif
    getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size);
    // The port sits at the same place in both families' addresses.
    port_ = ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
    listener_ = listener;
    thread_ = std::thread([this] { Serve(); });
}

Pop3ScriptServer::~Pop3ScriptServer()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ != kClosed)
        CloseHandleOf(listener_);
#ifdef _WIN32
    WSACleanup();
#endif
}

size_t Pop3ScriptServer::connections()
{
    std::lock_guard lock(mutex_);
    return records_.size();
}

ConnectionRecord Pop3ScriptServer::WaitForEnd(size_t n, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return records_.size() > n && records_[n].ended; });
    return records_.size() > n ? records_[n] : ConnectionRecord{};
}

bool Pop3ScriptServer::Readable(Handle socket, int ms)
{
#ifdef _WIN32
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket, &ready);
    timeval bound{0, ms * 1000};
    return select(0, &ready, nullptr, nullptr, &bound) > 0;
#else
    pollfd watched{socket, POLLIN, 0};
    return poll(&watched, 1, ms) > 0;
#endif
}

void Pop3ScriptServer::Serve()
{
    while (!stop_) {
        if (!Readable(listener_, 20))
            continue;
        const auto accepted = accept(listener_, nullptr, nullptr);
#ifdef _WIN32
        if (accepted == INVALID_SOCKET)
            continue;
#else
        if (accepted < 0)
            continue;
#endif
        const Handle client = static_cast<Handle>(accepted);
        int noDelay = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        size_t n;
        {
            std::lock_guard lock(mutex_);
            n = records_.size();
            records_.emplace_back();
        }
        if (n < scripts_.size())
            RunScript(client, scripts_[n], n);
        CloseHandleOf(client);
        {
            std::lock_guard lock(mutex_);
            records_[n].ended = true;
        }
        changed_.notify_all();
    }
}

// Reads what is there (false when the client closed or the server stops);
// with wholeLine, up to the LF of one line.
bool Pop3ScriptServer::ReceiveSome(Handle client, size_t n, bool wholeLine)
{
    while (!stop_) {
        if (!Readable(client, 20))
            continue;
        char byte;
        if (recv(client, &byte, 1, 0) <= 0) {
            std::lock_guard lock(mutex_);
            records_[n].clientClosed = true;
            return false;
        }
        {
            std::lock_guard lock(mutex_);
            records_[n].received.push_back(byte);
        }
        if (!wholeLine || byte == '\n')
            return true;
    }
    return false;
}

bool Pop3ScriptServer::SendAll(Handle client, const char* bytes, size_t count)
{
    return send(client, bytes, static_cast<int>(count), kSendFlags) == static_cast<int>(count);
}

void Pop3ScriptServer::RunScript(Handle client, const Script& script, size_t n)
{
    for (const ScriptStep& step : script) {
        switch (step.kind) {
        case ScriptStep::Say:
            if (!step.bytePerSegment) {
                SendAll(client, step.text.data(), step.text.size());
                break;
            }
            for (char byte : step.text) {
                SendAll(client, &byte, 1);
                Pause(2);  // with TCP_NODELAY: each byte its own segment
            }
            break;
        case ScriptStep::Await: {
            if (!ReceiveSome(client, n, true))
                return;
            break;
        }
        case ScriptStep::Hang:
            return;
        case ScriptStep::Drip:
            for (size_t i = 0; !stop_ && !step.text.empty(); i = (i + 1) % step.text.size()) {
                if (Readable(client, 0)) {
                    if (!ReceiveSome(client, n, false))
                        return;
                }
                if (!SendAll(client, &step.text[i], 1))
                    return;
                Pause(step.intervalMs);
            }
            return;
        }
    }
    while (ReceiveSome(client, n, false)) {
    }
}
