// The "Sign in" window and the Windows ports under its sign-in: the Winsock
// listener on 127.0.0.1, the browser, the clipboard.
#include <winsock2.h>

#include "sign_in_window.h"

#include "platform.h"
#include "setup_platform.h"
#include "sign_in_resources.h"
#include "text_encoding.h"
#include "win_handles.h"

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// What the flow's thread tells the window; wParam names the flow, so that a
// message of a flow the window already left is dropped.
constexpr UINT kFlowAddressMessage = WM_APP + 1;
constexpr UINT kFlowCodeMessage = WM_APP + 2;
constexpr UINT kFlowEndedMessage = WM_APP + 3;

// A request head longer than this is no browser's return.
constexpr size_t kLongestRequestHead = 8 * 1024;
// Browsers open spare connections that may never carry a request; a few are
// kept waiting beside the one that does, the oldest dropped first.
constexpr size_t kMostConnections = 8;
// How long the answer to the browser may take to send.
constexpr int kAnswerBoundMs = 5000;

using UniqueSocket = UniqueHandle<SOCKET, &closesocket, INVALID_SOCKET>;

bool SetNonBlocking(SOCKET socket)
{
    u_long on = 1;
    return ioctlsocket(socket, FIONBIO, &on) == 0;
}

timeval TimeOf(int ms)
{
    return timeval{ms / 1000, (ms % 1000) * 1000};
}

// The listener that the browser returns to. Any program on this machine may
// connect to it, so every read is bounded and nothing waits on one peer.
class LoopbackListener {
public:
    LoopbackListener() = default;
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    ~LoopbackListener()
    {
        connections_.clear();
        answering_.reset();
        listener_.reset();
        if (winsock_)
            WSACleanup();
    }

    std::optional<uint16_t> Listen()
    {
        WSADATA data;
        winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        if (!winsock_)
            return std::nullopt;
        listener_ = UniqueSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        int size = sizeof address;
        // So that no other program can bind the same port beside us and take
        // the browser's return; where the option is unknown, the bind stands alone.
        const BOOL exclusive = TRUE;
        if (listener_)
            setsockopt(listener_.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                       sizeof exclusive);
        if (!listener_ || !SetNonBlocking(listener_.get()) ||
            bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_.get(), SOMAXCONN) != 0 ||
            getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return std::nullopt;
        return ntohs(address.sin_port);
    }

    std::optional<std::string> WaitForRequest(int ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            std::erase_if(connections_, [](const Connection& connection) { return !connection.socket; });
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_.get(), &readable);
            for (const Connection& connection : connections_)
                FD_SET(connection.socket.get(), &readable);
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            timeval wait = TimeOf(static_cast<int>(std::max<int64_t>(left.count(), 0)));
            const int ready = select(0, &readable, nullptr, nullptr, &wait);
            if (ready == SOCKET_ERROR) {
                // Still a wait, so that the flow's clock moves on.
                Sleep(static_cast<DWORD>(wait.tv_sec * 1000 + wait.tv_usec / 1000));
                return std::nullopt;
            }
            if (ready == 0)
                return std::nullopt;
            for (size_t i = 0; i < connections_.size(); ++i) {
                if (FD_ISSET(connections_[i].socket.get(), &readable) && Read(connections_[i])) {
                    std::string head = std::move(connections_[i].head);
                    answering_ = std::move(connections_[i].socket);
                    connections_.erase(connections_.begin() + static_cast<ptrdiff_t>(i));
                    return head;
                }
            }
            if (FD_ISSET(listener_.get(), &readable))
                Accept();
        }
    }

    void Answer(std::string_view response)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerBoundMs);
        while (answering_ && !response.empty() && std::chrono::steady_clock::now() < deadline) {
            const int sent = send(answering_.get(), response.data(), static_cast<int>(response.size()), 0);
            if (sent > 0) {
                response.remove_prefix(static_cast<size_t>(sent));
            } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
                fd_set writable;
                FD_ZERO(&writable);
                FD_SET(answering_.get(), &writable);
                timeval wait = TimeOf(100);
                select(0, nullptr, &writable, nullptr, &wait);
            } else {
                break;
            }
        }
        if (answering_)
            shutdown(answering_.get(), SD_SEND);
        answering_.reset();
    }

private:
    struct Connection {
        UniqueSocket socket;
        std::string head;
    };

    void Accept()
    {
        UniqueSocket accepted(accept(listener_.get(), nullptr, nullptr));
        if (!accepted || !SetNonBlocking(accepted.get()))
            return;
        if (connections_.size() >= kMostConnections)
            connections_.erase(connections_.begin());
        connections_.push_back(Connection{std::move(accepted), {}});
    }

    // Reads what has come; true once the head is whole (or as long as it may
    // be, or the peer closed after sending some). A peer that closed without
    // a request, or failed, is dropped.
    static bool Read(Connection& connection)
    {
        char buffer[2048];
        const size_t room = std::min(sizeof buffer, kLongestRequestHead - connection.head.size());
        const int received = recv(connection.socket.get(), buffer, static_cast<int>(room), 0);
        if (received < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
            return false;
        if (received <= 0) {
            if (connection.head.empty())
                connection.socket.reset();
            return !connection.head.empty();
        }
        connection.head.append(buffer, static_cast<size_t>(received));
        return connection.head.find("\r\n\r\n") != std::string::npos || connection.head.size() >= kLongestRequestHead;
    }

    bool winsock_ = false;
    UniqueSocket listener_;
    std::vector<Connection> connections_;
    UniqueSocket answering_;
};

// What a flow's thread and the window share. The window may be gone long
// before the thread ends (a request to the provider can take its whole
// bound), so the thread posts only while Window is set, under the lock.
struct FlowChannel {
    FlowChannel(HWND window, WPARAM id) : Window(window), Id(id) {}

    std::mutex Lock;
    HWND Window;  // null once the window stopped listening
    const WPARAM Id;
    std::atomic<bool> Cancel{false};
    // Written by the thread before it posts, read by the window on the message.
    std::string Address;
    std::string UserCode;
    std::string VerificationUri;
    SignInResult Result;
    std::exception_ptr Failure;

    template <typename Write>
    void Tell(UINT message, Write write)
    {
        const std::lock_guard<std::mutex> hold(Lock);
        write();
        if (Window != nullptr)
            PostMessageW(Window, message, Id, 0);
    }

    void Close()
    {
        Cancel = true;
        const std::lock_guard<std::mutex> hold(Lock);
        Window = nullptr;
    }
};

// The flow's thread. It owns copies of all it uses, so that it may outlive
// the window and its caller.
void RunFlow(std::shared_ptr<FlowChannel> channel, OAuthProvider provider, SignInEdge edge,
             std::optional<SignInSecrets> secrets)
{
    try {
        LoopbackListener listener;
        SignInPorts ports;
        ports.Listen = [&listener]() { return listener.Listen(); };
        ports.WaitForRequest = [&listener](int ms) { return listener.WaitForRequest(ms); };
        ports.Answer = [&listener](std::string_view response) { listener.Answer(response); };
        ports.OpenInBrowser = edge.OpenInBrowser;
        ports.Post = edge.Post;
        ports.NowMs = []() {
            return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now().time_since_epoch())
                                             .count());
        };
        // The flow sleeps in short slices and looks at Cancel between them.
        ports.Sleep = [](int ms) { Sleep(static_cast<DWORD>(ms)); };
        ports.Cancel = &channel->Cancel;
        ports.ShowAddress = [&channel](const std::string& url) {
            channel->Tell(kFlowAddressMessage, [&]() { channel->Address = url; });
        };
        ports.ShowCode = [&channel](const std::string& userCode, const std::string& uri) {
            channel->Tell(kFlowCodeMessage, [&]() {
                channel->UserCode = userCode;
                channel->VerificationUri = uri;
            });
        };
        SignInResult result = secrets ? RunBrowserSignIn(provider, *secrets, edge.LimitMs, ports)
                                      : RunDeviceSignIn(provider, edge.LimitMs, ports);
        channel->Tell(kFlowEndedMessage, [&]() { channel->Result = std::move(result); });
    } catch (...) {
        // Handed to the window, which rethrows it to the setup program's own handling.
        channel->Tell(kFlowEndedMessage, [&]() { channel->Failure = std::current_exception(); });
    }
}

// Global memory that the clipboard takes over once it accepts it.
class ClipboardMemory {
public:
    explicit ClipboardMemory(size_t bytes) : memory_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
    ClipboardMemory(const ClipboardMemory&) = delete;
    ClipboardMemory& operator=(const ClipboardMemory&) = delete;
    ~ClipboardMemory()
    {
        if (memory_ != nullptr)
            GlobalFree(memory_);
    }
    HGLOBAL get() const { return memory_; }
    void HandOver() { memory_ = nullptr; }

private:
    HGLOBAL memory_;
};

class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    ~OpenClipboardScope()
    {
        if (open_)
            CloseClipboard();
    }
    bool open() const { return open_; }

private:
    bool open_;
};

void CopyToClipboard(HWND owner, const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    ClipboardMemory memory(bytes);
    if (memory.get() == nullptr)
        return;
    void* data = GlobalLock(memory.get());
    if (data == nullptr)
        return;
    std::memcpy(data, text.c_str(), bytes);
    GlobalUnlock(memory.get());
    OpenClipboardScope clipboard(owner);
    if (clipboard.open() && EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr)
        memory.HandOver();
}

std::wstring ItemText(HWND window, int id)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(GetDlgItem(window, id))) + 1, L'\0');
    text.resize(static_cast<size_t>(GetDlgItemTextW(window, id, text.data(), static_cast<int>(text.size()))));
    return text;
}

void ShowItem(HWND window, int id, bool shown)
{
    ShowWindow(GetDlgItem(window, id), shown ? SW_SHOW : SW_HIDE);
}

class SignInWindow {
public:
    SignInWindow(const OAuthProvider& provider, std::string_view user, const SignInEdge& edge,
                 const SignInSecrets& secrets)
        : provider_(provider), user_(user), edge_(edge), secrets_(secrets)
    {
    }
    SignInWindow(const SignInWindow&) = delete;
    SignInWindow& operator=(const SignInWindow&) = delete;
    ~SignInWindow()
    {
        if (channel_)
            channel_->Close();
    }

    void Run(HWND owner)
    {
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SIGN_IN), owner, &DialogProc,
                        reinterpret_cast<LPARAM>(this));
        if (channel_)
            channel_->Close();
        if (failure_)
            std::rethrow_exception(failure_);
    }

    const SignInResult& result() const { return result_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            reinterpret_cast<SignInWindow*>(lParam)->window_ = window;
        }
        auto* self = reinterpret_cast<SignInWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        if (self == nullptr)
            return FALSE;
        // No exception may travel on into the system's code that called us:
        // the window ends and Run rethrows it.
        try {
            return self->HandleMessage(message, wParam);
        } catch (...) {
            self->failure_ = std::current_exception();
            self->End();
            return TRUE;
        }
    }

    INT_PTR HandleMessage(UINT message, WPARAM wParam)
    {
        switch (message) {
        case WM_INITDIALOG:
            Open();
            return TRUE;
        case WM_COMMAND:
            HandleCommand(LOWORD(wParam));
            return TRUE;
        case kFlowAddressMessage:
        case kFlowCodeMessage:
        case kFlowEndedMessage:
            if (channel_ && wParam == channel_->Id)
                HandleFlow(message);
            return TRUE;
        case WM_DESTROY:
            if (channel_)
                channel_->Close();
            return FALSE;
        default:
            return FALSE;
        }
    }

    void Open()
    {
        const std::wstring account = user_.empty() ? L"" : L"Account: " + WideOf(user_, CP_ACP);
        SetDlgItemTextW(window_, IDC_SIGN_IN_ACCOUNT, account.c_str());
        SetDlgItemTextW(window_, IDC_SIGN_IN_STATUS, L"Waiting for you to sign in in your browser\u2026");
        EnableWindow(GetDlgItem(window_, IDC_SIGN_IN_COPY_LINK), FALSE);
        ShowItem(window_, IDC_SIGN_IN_USE_CODE, !provider_.DeviceUrl.empty());
        Start(secrets_);
    }

    void Start(std::optional<SignInSecrets> secrets)
    {
        if (channel_)
            channel_->Close();
        channel_ = std::make_shared<FlowChannel>(window_, ++flows_);
        std::thread(RunFlow, channel_, provider_, edge_, secrets).detach();
    }

    void HandleCommand(int id)
    {
        switch (id) {
        case IDCANCEL:
            result_ = SignInResult{SignInOutcome::Cancelled, {}, {}};
            End();
            break;
        case IDC_SIGN_IN_COPY_LINK:
            CopyToClipboard(window_, ItemText(window_, IDC_SIGN_IN_ADDRESS));
            break;
        case IDC_SIGN_IN_COPY_CODE:
            CopyToClipboard(window_, ItemText(window_, IDC_SIGN_IN_CODE));
            break;
        case IDC_SIGN_IN_USE_CODE:
            SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, IDCANCEL)), TRUE);
            ShowItem(window_, IDC_SIGN_IN_USE_CODE, false);
            SetDlgItemTextW(window_, IDC_SIGN_IN_STATUS, L"Getting a code from the sign-in server\u2026");
            SetDlgItemTextW(window_, IDC_SIGN_IN_ADDRESS, L"");
            EnableWindow(GetDlgItem(window_, IDC_SIGN_IN_COPY_LINK), FALSE);
            Start(std::nullopt);
            break;
        default:
            break;
        }
    }

    void HandleFlow(UINT message)
    {
        std::unique_lock<std::mutex> hold(channel_->Lock);
        if (message == kFlowAddressMessage) {
            const std::wstring address = WideOf(channel_->Address, CP_UTF8);
            hold.unlock();
            SetDlgItemTextW(window_, IDC_SIGN_IN_ADDRESS, address.c_str());
            EnableWindow(GetDlgItem(window_, IDC_SIGN_IN_COPY_LINK), TRUE);
        } else if (message == kFlowCodeMessage) {
            const std::wstring uri = WideOf(channel_->VerificationUri, CP_UTF8);
            const std::wstring code = WideOf(channel_->UserCode, CP_UTF8);
            hold.unlock();
            const std::wstring status = L"Go to " + uri + L" and enter the code " + code + L".";
            SetDlgItemTextW(window_, IDC_SIGN_IN_STATUS, status.c_str());
            SetDlgItemTextW(window_, IDC_SIGN_IN_ADDRESS, uri.c_str());
            SetDlgItemTextW(window_, IDC_SIGN_IN_CODE, code.c_str());
            EnableWindow(GetDlgItem(window_, IDC_SIGN_IN_COPY_LINK), TRUE);
            ShowItem(window_, IDC_SIGN_IN_CODE, true);
            ShowItem(window_, IDC_SIGN_IN_COPY_CODE, true);
        } else {
            result_ = std::move(channel_->Result);
            failure_ = channel_->Failure;
            hold.unlock();
            End();
        }
    }

    void End()
    {
        if (channel_)
            channel_->Close();
        EndDialog(window_, 0);
    }

    const OAuthProvider provider_;
    const std::string user_;
    const SignInEdge edge_;
    const SignInSecrets secrets_;
    HWND window_ = nullptr;
    std::shared_ptr<FlowChannel> channel_;
    WPARAM flows_ = 0;
    SignInResult result_;
    std::exception_ptr failure_;
};

// The time limit that the end-to-end test sets; anything else that is not
// a whole number of seconds from 1 to a day is ignored.
uint64_t SignInLimitMs()
{
    char text[16] = {};
    const DWORD length = GetEnvironmentVariableA("QUILLO_SIGN_IN_LIMIT_SECONDS", text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return kSignInLimitSeconds * 1000;
    char* end = nullptr;
    const unsigned long seconds = std::strtoul(text, &end, 10);
    if (*end != '\0' || text[0] < '0' || text[0] > '9' || seconds == 0 || seconds > 86400)
        return kSignInLimitSeconds * 1000;
    return static_cast<uint64_t>(seconds) * 1000;
}

}  // namespace

SignInEdge RealSignInEdge()
{
    SignInEdge edge;
    edge.Post = [](std::string_view url, std::string_view body) { return PostForm(url, body, kProviderBoundMs); };
    // Its result says nothing: Wine reports success without any browser, so
    // the window always offers the address to copy.
    edge.OpenInBrowser = [](const std::string& url) {
        ShellExecuteW(nullptr, L"open", WideOf(url, CP_UTF8).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
    edge.LimitMs = SignInLimitMs();
    return edge;
}

std::string SignInFailureText(const SignInResult& result)
{
    switch (result.Outcome) {
    case SignInOutcome::SignedIn:
    case SignInOutcome::Cancelled:
        return {};
    case SignInOutcome::TimedOut:
        return kSignInTimedOutText;
    case SignInOutcome::Denied:
        return kSignInDeniedText;
    case SignInOutcome::StateMismatch:
        return kSignInStateMismatchText;
    case SignInOutcome::ProviderRefused: {
        std::string text = kSignInRefusedText;
        // The code is printable ASCII; a long one is cut to fit a box.
        const std::string code = result.Error.empty() ? "none given" : result.Error.substr(0, 80);
        text.replace(text.find("%s"), 2, code);
        return text;
    }
    case SignInOutcome::Unreachable:
        return kSignInUnreachableText;
    case SignInOutcome::NoRefreshToken:
        return kSignInNoRefreshTokenText;
    case SignInOutcome::NoListener:
        return kSignInNoListenerText;
    }
    return {};
}

std::optional<std::string> RunSignInWindow(HWND owner, const OAuthProvider& provider, std::string_view user)
{
    return RunSignInWindow(owner, provider, user, RealSignInEdge());
}

std::optional<std::string> RunSignInWindow(HWND owner, const OAuthProvider& provider, std::string_view user,
                                           const SignInEdge& edge)
{
    SignInSecrets secrets;
    if (!DrawRandomBytes(secrets.Verifier) || !DrawRandomBytes(secrets.State)) {
        gPlatform.MessageBoxA(owner, kSignInNoRandomText, ProgramTitle().c_str(), MB_OK | MB_ICONWARNING);
        return std::nullopt;
    }
    SignInWindow window(provider, user, edge, secrets);
    window.Run(owner);
    const SignInResult& result = window.result();
    if (result.Outcome == SignInOutcome::SignedIn)
        return result.RefreshToken;
    const std::string text = SignInFailureText(result);
    if (!text.empty())
        gPlatform.MessageBoxA(owner, text.c_str(), ProgramTitle().c_str(), MB_OK | MB_ICONWARNING);
    return std::nullopt;
}
