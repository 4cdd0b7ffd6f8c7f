#include "program_driver.h"

namespace {

struct WindowSearch {
    DWORD process;  // 0: any
    const char* className;
    const char* title;
    std::vector<HWND> found;
    bool all;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data)
{
    WindowSearch& search = *reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search.process != 0 && owner != search.process)
        return TRUE;
    char className[64] = "";
    char title[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if ((search.className != nullptr && lstrcmpA(className, search.className) != 0) ||
        (search.title != nullptr && lstrcmpA(title, search.title) != 0))
        return TRUE;
    search.found.push_back(window);
    return search.all ? TRUE : FALSE;
}

BOOL CALLBACK CountTrayIcon(HWND window, LPARAM count)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "__winex11_tray_icon") == 0)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

}  // namespace

ProgramProcess::ProgramProcess(const std::string& program, const std::string& commandLine, const std::string& folder)
{
    std::string line = commandLine.empty() ? "\"" + program + "\"" : commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
        process_.reset(started.hProcess);
        CloseHandle(started.hThread);
        id_ = started.dwProcessId;
    }
}

ProgramProcess::ProgramProcess(HWND window)
{
    GetWindowThreadProcessId(window, &id_);
    process_.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id_));
}

ProgramProcess::~ProgramProcess()
{
    if (Running()) {
        TerminateProcess(process_.get(), 99);
        // Gone for good, its one-copy name with it, before the next test
        // starts the program again.
        WaitForSingleObject(process_.get(), 5000);
    }
}

bool ProgramProcess::Running() const
{
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ProgramProcess::ExitStatus(DWORD timeoutMs) const
{
    if (!process_)
        return std::nullopt;
    const DWORD start = GetTickCount();
    HANDLE process = process_.get();
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= timeoutMs && WaitForSingleObject(process, 0) != WAIT_OBJECT_0)
            return std::nullopt;
        if (MsgWaitForMultipleObjects(1, &process, FALSE, std::min<DWORD>(100, timeoutMs - std::min(waited, timeoutMs)),
                                      QS_SENDMESSAGE) == WAIT_OBJECT_0) {
            DWORD status = 0;
            GetExitCodeProcess(process, &status);
            return status;
        }
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

HWND ProgramProcess::FindWindowOf(const char* className, const char* title) const
{
    WindowSearch search{id_, className, title, {}, false};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

HWND ProgramProcess::WaitForWindow(const char* className, const char* title, DWORD timeoutMs) const
{
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowOf(className, title)) != nullptr || !Running(); }, timeoutMs);
    return window;
}

HWND ProgramProcess::WaitForShownWindow(const char* className, const char* title, DWORD timeoutMs) const
{
    HWND window = nullptr;
    WaitUntil(
        [&] {
            window = FindWindowOf(className, title);
            return (window != nullptr && IsWindowVisible(window)) || !Running();
        },
        timeoutMs);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

std::vector<HWND> ProgramProcess::WindowsOf(const char* className) const
{
    WindowSearch search{id_, className, nullptr, {}, true};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ProgramProcess::WaitForBox(DWORD timeoutMs) const
{
    HWND box = nullptr;
    WaitUntil(
        [&] {
            for (HWND candidate : WindowsOf("#32770"))
                if (IsWindowVisible(candidate) && !BoxText(candidate).empty()) {
                    box = candidate;
                    return true;
                }
            return !Running();
        },
        timeoutMs);
    return box;
}

std::vector<HWND> DesktopWindows(const char* className, const char* title)
{
    WindowSearch search{0, className, title, {}, true};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string TestProgramFolder()
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path = self;
    path.erase(path.find_last_of('\\') + 1);
    return path;
}

std::string TextOf(HWND window)
{
    char text[512] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string BoxText(HWND box)
{
    return TextOf(GetDlgItem(box, 0xFFFF));
}

void ClickButton(HWND dialog, int buttonId)
{
    PostMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
}

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

int TrayIcons()
{
    int count = 0;
    if (HWND tray = FindWindowA("__winex11_standalone_tray", nullptr))
        EnumChildWindows(tray, &CountTrayIcon, reinterpret_cast<LPARAM>(&count));
    return count;
}

bool WaitForTrayIcons(int count, DWORD timeoutMs)
{
    return WaitUntil([&] { return TrayIcons() == count; }, timeoutMs);
}

const char* const kNoTrayWindow =
    "the icon did not show in Wine's own tray window (on a display with a notification area of its own, Wine puts "
    "the icons there; run the tests on the Xvfb that scripts/wine-run starts)";
