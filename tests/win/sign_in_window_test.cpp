// The Sign in window in-process with its real loopback listener: a stand-in
// browser returns to it over TCP as a real one would, and a stand-in
// provider answers the code exchange.
#include <winsock2.h>

#include "platform_recorder.h"
#include "sign_in_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

OAuthProvider Provider()
{
    return {"https://login.example/authorize", "https://login.example/token", "client-1", "mail offline_access", ""};
}

ProviderReply Tokens()
{
    return {true, 200, "{\"access_token\":\"at-1\",\"token_type\":\"Bearer\",\"refresh_token\":\"rt-1\"}"};
}

// The text after `marker` in the address, up to the next '&'.
std::string After(const std::string& url, const std::string& marker)
{
    const size_t start = url.find(marker);
    return start == std::string::npos ? ""
                                      : url.substr(start + marker.size(), url.find('&', start) - start - marker.size());
}

class Connection {
public:
    explicit Connection(int port) : socket_(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(port));
        connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        const DWORD boundMs = 10000;
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&boundMs), sizeof boundMs);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { closesocket(socket_); }

    // Sends the request and reads the response until the listener closes.
    std::string Ask(const std::string& request)
    {
        send(socket_, request.data(), static_cast<int>(request.size()), 0);
        std::string response;
        char buffer[1024];
        for (int got; (got = recv(socket_, buffer, sizeof buffer, 0)) > 0;)
            response.append(buffer, static_cast<size_t>(got));
        return response;
    }

private:
    SOCKET socket_;
};

// What the stand-in browser and provider saw, shared with the sign-in's
// thread, which may outlive the window.
struct Peers {
    std::thread browser;
    std::string notFound;
    std::string page;
    std::mutex lock;
    std::vector<std::string> posted;
    Clock::time_point cancelled{};

    ~Peers()
    {
        if (browser.joinable())
            browser.join();
    }
};

// A browser that opens a spare connection and never uses it (as browsers
// do), asks for the icon, then returns with the code and this sign-in's state.
SignInEdge StandIns(const std::shared_ptr<Peers>& peers)
{
    SignInEdge edge;
    edge.OpenInBrowser = [peers](const std::string& url) {
        peers->browser = std::thread([peers, url]() {
            const int port = std::stoi(After(url, "127.0.0.1%3A"));
            Connection spare(port);
            peers->notFound = Connection(port).Ask("GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            peers->page = Connection(port).Ask("GET /?code=c-1&state=" + After(url, "&state=") +
                                               " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        });
    };
    edge.Post = [peers](std::string_view, std::string_view body) {
        const std::lock_guard<std::mutex> hold(peers->lock);
        peers->posted.emplace_back(body);
        return Tokens();
    };
    return edge;
}

class SignInWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    PlatformRecorder platform_;
    std::shared_ptr<Peers> peers_ = std::make_shared<Peers>();
};

TEST_F(SignInWindowTest, TheBrowsersReturnToTheListenerEndsTheWindowWithTheToken)
{
    EXPECT_EQ(RunSignInWindow(nullptr, Provider(), "alice", StandIns(peers_)), "rt-1");
    peers_->browser.join();
    EXPECT_TRUE(peers_->notFound.starts_with("HTTP/1.1 404 Not Found\r\n")) << peers_->notFound;
    EXPECT_NE(peers_->page.find("You are signed in."), std::string::npos) << peers_->page;
    ASSERT_EQ(peers_->posted.size(), 1u);
    EXPECT_NE(peers_->posted[0].find("code=c-1&"), std::string::npos);
    EXPECT_TRUE(platform_.boxes.empty());
}

TEST_F(SignInWindowTest, CancelEndsTheWindowAtOnceWhileTheProviderIsStillAnswering)
{
    SignInEdge edge = StandIns(peers_);
    std::shared_ptr<Peers> peers = peers_;
    edge.Post = [peers](std::string_view, std::string_view) {
        const HWND window = FindWindowW(L"#32770", kSignInWindowTitle);
        peers->cancelled = Clock::now();
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        Sleep(1500);
        return Tokens();
    };
    EXPECT_EQ(RunSignInWindow(nullptr, Provider(), "alice", edge), std::nullopt);
    EXPECT_LT(Clock::now() - peers_->cancelled, std::chrono::milliseconds(1000));
    EXPECT_TRUE(platform_.boxes.empty());
    // The sign-in's thread finishes on its own, and tells the browser that
    // nothing came of it.
    peers_->browser.join();
    EXPECT_NE(peers_->page.find("Sign-in did not complete."), std::string::npos) << peers_->page;
}

}  // namespace
