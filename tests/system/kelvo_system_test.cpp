// kelvo.exe as a user meets it: started as a process of its own under Wine
// and driven from outside with window messages, the way a person's clicks
// and the monitor's window would reach it.
#include "win/config_registry.h"
#include "config_store.h"
#include "control_messages.h"
#include "win_handles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kPatienceMs = 20000;

struct FoundWindow {
    DWORD processId;
    const char* title;
    HWND window;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data)
{
    auto* wanted = reinterpret_cast<FoundWindow*>(data);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char title[128] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title), SMTO_ABORTIFHUNG, 1000,
                        nullptr);
    if (processId != wanted->processId || !IsWindowVisible(window) || lstrcmpA(title, wanted->title) != 0)
        return TRUE;
    wanted->window = window;
    return FALSE;
}

// The visible top-level window of a process with a given title.
HWND WaitForWindow(DWORD processId, const char* title)
{
    FoundWindow wanted{processId, title, nullptr};
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kPatienceMs) {
        EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&wanted));
        if (wanted.window != nullptr)
            return wanted.window;
        Sleep(50);
    }
    return nullptr;
}

std::string ControlText(HWND control)
{
    char text[256] = "";
    SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// Wine hands list texts across processes as UTF-16 only.
std::vector<std::string> ListEntries(HWND list)
{
    std::vector<std::string> entries;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        WCHAR wide[256] = L"";
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide));
        char text[256] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        entries.emplace_back(text);
    }
    return entries;
}

class SetupProcess {
public:
    SetupProcess()
    {
        char commandLine[] = "kelvo";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        started_ = CreateProcessA(KELVO_EXE, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process);
        process_.reset(process.hProcess);
        thread_.reset(process.hThread);
        id_ = process.dwProcessId;
    }
    ~SetupProcess()
    {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.get(), 99);
    }

    bool started() const { return started_; }
    DWORD id() const { return id_; }

    // The exit status, or nothing while the program still runs. Messages
    // sent to this thread's windows meanwhile are answered.
    std::optional<DWORD> WaitForExit() const
    {
        const DWORD start = GetTickCount();
        HANDLE process = process_.get();
        while (GetTickCount() - start < kPatienceMs) {
            if (MsgWaitForMultipleObjects(1, &process, FALSE, 100, QS_SENDMESSAGE) == WAIT_OBJECT_0) {
                DWORD status = 0;
                GetExitCodeProcess(process, &status);
                return status;
            }
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        return std::nullopt;
    }

private:
    bool started_ = false;
    UniqueKernelHandle process_;
    UniqueKernelHandle thread_;
    DWORD id_ = 0;
};

class KelvoProgram : public ::testing::Test {
protected:
    void SetUp() override { DeleteConfigKey(); }
    void TearDown() override { DeleteConfigKey(); }
};

TEST_F(KelvoProgram, OpensWithTheStoredHostsAndSaveWritesThemAndTellsTheMonitor)
{
    StoreHosts({SampleHost(1), SampleHost(2)});
    HWND monitor = CreateWindowExA(0, "STATIC", kMonitorWindowName, 0, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(monitor, nullptr);

    SetupProcess setup;
    ASSERT_TRUE(setup.started()) << KELVO_EXE;
    HWND dialog = WaitForWindow(setup.id(), "Quillo Setup");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ListEntries(GetDlgItem(dialog, 1007)), (std::vector<std::string>{"pop1.example.org", "pop2.example.org"}));
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 1007), LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(ControlText(GetDlgItem(dialog, 1000)), "pop1.example.org");
    EXPECT_EQ(ControlText(GetDlgItem(dialog, 1005)), "60");
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 1006), CB_GETCURSEL, 0, 0), 1);

    SendMessageA(GetDlgItem(dialog, 1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("edited.example.org"));
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(setup.WaitForExit(), 0u);

    EXPECT_EQ(ReadRawValue("Host0Name")->data, std::string("edited.example.org") + '\0');
    EXPECT_EQ(ReadRawValue("Host1Name")->data, std::string("pop2.example.org") + '\0');
    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string("\x02\0\0\0", 4));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, monitor, 0x0400, 0x7FFF, PM_REMOVE));
    EXPECT_EQ(message.message, UM_NEWCONFIG);
    DestroyWindow(monitor);
}

TEST_F(KelvoProgram, TheCloseBoxAfterAnAddAsksAndNoLeavesTheRegistryAsItWas)
{
    StoreHosts({SampleHost(1)});
    SetupProcess setup;
    ASSERT_TRUE(setup.started()) << KELVO_EXE;
    HWND dialog = WaitForWindow(setup.id(), "Quillo Setup");
    ASSERT_NE(dialog, nullptr);
    PostMessageA(GetDlgItem(dialog, 1008), BM_CLICK, 0, 0);
    const DWORD start = GetTickCount();
    while (SendMessageA(GetDlgItem(dialog, 1007), LB_GETCOUNT, 0, 0) != 2 && GetTickCount() - start < kPatienceMs)
        Sleep(20);
    EXPECT_EQ(ListEntries(GetDlgItem(dialog, 1007)), (std::vector<std::string>{"pop1.example.org", "New host"}));

    PostMessageA(dialog, WM_CLOSE, 0, 0);
    // The program's own boxes carry its file name.
    HWND box = WaitForWindow(setup.id(), "kelvo");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(GetDlgItem(box, 0xFFFF)), "Do you want to save your changes?");
    EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
    ASSERT_NE(GetDlgItem(box, IDNO), nullptr);
    PostMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    EXPECT_EQ(setup.WaitForExit(), 0u);

    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string("\x01\0\0\0", 4));
    EXPECT_FALSE(ReadRawValue("Host1Name"));
}

} // namespace
