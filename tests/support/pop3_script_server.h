// A POP3 server that follows a script, for tests of the probe: natively on an
// ephemeral loopback port, and under Wine on 127.0.0.N:110. It answers one
// connection at a time, each with its own script, and records every byte it
// receives on each.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ScriptStep {
    enum Kind { Say, Await, Hang, Drip } kind;
    std::string text;
    bool bytePerSegment = false;
    int intervalMs = 0;
};

// Sends the text; with bytePerSegment every byte goes out in a TCP segment
// of its own.
ScriptStep Say(std::string text, bool bytePerSegment = false);
// Waits for one line from the client (up to its LF).
ScriptStep Await();
// Closes the connection.
ScriptStep Hang();
// Sends the text one byte per interval, over and over, until the client goes.
ScriptStep Drip(std::string text, int intervalMs);

// After its last step a connection stays open and silent, recording what
// arrives, until the client closes it; so a script that ends after the STAT
// reply is a server that never answers QUIT.
using Script = std::vector<ScriptStep>;

// The answer of a server that takes USER and PASS in plain text.
inline constexpr char kCapaAnswer[] = "+OK Capability list follows\r\nUSER\r\n.\r\n";

// The usual dialogue: greeting, CAPA, USER, PASS and STAT replies, then
// nothing.
Script ScriptedPop3Session(const std::string& statReply, const std::string& greeting = "+OK ready\r\n");

struct ConnectionRecord {
    std::string received;
    bool clientClosed = false;  // the server saw the client close the connection
    bool ended = false;
};

class Pop3ScriptServer {
public:
    // Connections beyond the scripts are closed at once.
    explicit Pop3ScriptServer(std::vector<Script> scripts, const char* address = "127.0.0.1", uint16_t port = 0);
    ~Pop3ScriptServer();
    Pop3ScriptServer(const Pop3ScriptServer&) = delete;
    Pop3ScriptServer& operator=(const Pop3ScriptServer&) = delete;

    bool listening() const { return listener_ != kClosed; }
    uint16_t port() const { return port_; }

    // Connection n as it stands once it has ended, or after timeoutMs.
    ConnectionRecord WaitForEnd(size_t n, int timeoutMs = 5000);
    size_t connections();

private:
#ifdef _WIN32
    using Handle = uintptr_t;
    static constexpr Handle kClosed = ~Handle{0};
#else
    using Handle = int;
    static constexpr Handle kClosed = -1;
#endif
    void Serve();
    void RunScript(Handle client, const Script& script, size_t n);
    bool Readable(Handle socket, int ms);
    bool ReceiveSome(Handle client, size_t n, bool wholeLine);
    bool SendAll(Handle client, const char* bytes, size_t count);

    std::vector<Script> scripts_;
    Handle listener_ = kClosed;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ConnectionRecord> records_;
    std::thread thread_;
};
