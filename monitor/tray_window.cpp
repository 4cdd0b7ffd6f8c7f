// The hidden window, its tray icon and the menu that a click on the icon
// opens.
#include "tray_window.h"

#include "check_scheduler.h"
#include "control_messages.h"
#include "debug_trace.h"
#include "monitor_config.h"
#include "monitor_messages.h"
#include "monitor_platform.h"
#include "monitor_state.h"
#include "new_mail_actions.h"
#include "platform.h"
#include "tray_balloon.h"

#include <cinttypes>
#include <cstddef>
#include <cstring>
#include <optional>

// The first version of the record, up to and including the 64-byte tip: 88
// bytes on x86, 104 on x64.
static_assert(offsetof(NOTIFYICONDATAA, szTip) + 64 == kTrayRecordSize);
static_assert(sizeof(void*) != 4 || kTrayRecordSize == 88);

namespace {

// The one tray icon of the process, which the window procedure and the
// shell's re-creation both reach without a window pointer.
TrayState gTray;

void PutStateIntoRecord(int32_t state)
{
    const char* tip = kNewMailTip;
    HICON icon = gTray.StateIcons[2];
    if (state == Unknown) {
        tip = kUnknownTip;
        icon = gTray.StateIcons[0];
    } else if (state == NoMail) {
        tip = kNoMailTip;
        icon = gTray.StateIcons[1];
    }
    gTray.Record.hIcon = icon;
    lstrcpynA(gTray.Record.szTip, tip, 64);
}

// Loads the state icons anew when the notification area's size at this DPI
// is not theirs; true when it did.
bool FitStateIcons(UINT dpi)
{
    const int size = SmallIconSize(dpi);
    return size != gTray.StateIcons.Size && LoadStateIcons(gInstance, size, gTray.StateIcons);
}

// The screen's DPI changed: the icon shown is sent again at the new size.
void FitTrayIconToDpi(UINT dpi)
{
    if (!FitStateIcons(dpi) || gTray.FirstUpdate)
        return;
    PutStateIntoRecord(gTray.ShownState);
    gMonitorPlatform.Shell_NotifyIconA(NIM_MODIFY, &gTray.Record);
}

void AddTrayIconAgain(HWND window)
{
    if (gTray.FirstUpdate) {
        UpdateTrayIcon(window);
        return;
    }
    const int32_t state = OverallState(gHostTable);
    PutStateIntoRecord(state);
    gMonitorPlatform.Shell_NotifyIconA(NIM_ADD, &gTray.Record);
    gTray.ShownState = state;
}

// Whether the current menu's host lines still name the table's hosts.
bool MenuIsCurrent()
{
    return gTray.PopupMenu && gTray.MenuGeneration == gHostTable.Generation;
}

void UpdateOpenMenuLine(LPARAM hostIndex)
{
    if (!gTray.MenuOpen || !MenuIsCurrent())
        return;
    const int32_t count = gHostTable.Count.load();
    if (hostIndex < 0 || hostIndex >= count || hostIndex >= gTray.MenuHostLines)
        return;
    HostEntry& host = gHostTable[static_cast<int32_t>(hostIndex)];
    FormatHostMenuLine(gTray.UpdateBuffer, host);
    if (!ModifyMenuA(gTray.PopupMenu.get(), static_cast<UINT>(hostIndex), MF_BYCOMMAND | MF_STRING,
                     static_cast<UINT_PTR>(hostIndex), gTray.UpdateBuffer))
        DebugTrace("Modify menu failed: %d", static_cast<int>(GetLastError()));
    PokeMenus();
}

void ShowPopupMenu(HWND window)
{
    POINT cursor{};
    GetCursorPos(&cursor);
    gTray.PopupMenu.reset();
    BuildPopupMenu();
    gTray.MenuOpen = true;
    // Without this the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window);
    TrackPopupMenu(gTray.PopupMenu.get(), TPM_RIGHTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
    PostMessageA(window, WM_USER, 0, 0);
    gTray.MenuOpen = false;
}

void RunMenuCommand(HWND window, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case kHelpCommand:
        if (!ShowHelpTopic(window, kHelpTopic))
            gPlatform.MessageBoxA(window, kHelpFailedText, kBoxCaption, MB_OK | MB_ICONEXCLAMATION);
        return;
    case kSetupCommand:
        LaunchSetup();
        return;
    case kExitCommand:
        PostMessageA(window, WM_CLOSE, 0, 0);
        return;
    }
    const int32_t count = gHostTable.Count.load();
    if (static_cast<ULONG_PTR>(wParam) < static_cast<ULONG_PTR>(count) && MenuIsCurrent())
        StartMailReader(static_cast<int32_t>(wParam));
}

BOOL CALLBACK PokeIfOurMenu(HWND window, LPARAM)
{
    char title[128] = "";
    char className[128] = "";
    GetWindowTextA(window, title, sizeof title);
    GetClassNameA(window, className, sizeof className);
    const LONG_PTR instance = GetWindowLongPtrA(window, GWLP_HINSTANCE);
    if (lstrcmpiA(className, "#32768") == 0 && instance == reinterpret_cast<LONG_PTR>(gInstance)) {
        DebugTrace("Window: %08" PRIXPTR " [%s] [%s] %08" PRIXPTR, reinterpret_cast<uintptr_t>(window), title,
                   className, static_cast<uintptr_t>(instance));
        InvalidateRect(window, nullptr, TRUE);
    }
    return TRUE;
}

}  // namespace

TrayState& TrayStateForTests()
{
    return gTray;
}

void ResetTrayState()
{
    gTray = TrayState{};
}

void UpdateTrayIcon(HWND window)
{
    if (gTray.FirstUpdate) {
        std::memset(&gTray.Record, 0, sizeof gTray.Record);
        gTray.Record.cbSize = kTrayRecordSize;
        gTray.Record.hWnd = window;
        gTray.Record.uID = 0;
        gTray.Record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        gTray.Record.uCallbackMessage = UM_PROD;
    }
    const int32_t state = OverallState(gHostTable);
    PutStateIntoRecord(state);
    if (state != gTray.ShownState) {
        gMonitorPlatform.Shell_NotifyIconA(gTray.FirstUpdate ? NIM_ADD : NIM_MODIFY, &gTray.Record);
        gTray.ShownState = state;
    }
    gTray.FirstUpdate = false;
}

void RemoveTrayIcon()
{
    if (!gTray.FirstUpdate)
        gMonitorPlatform.Shell_NotifyIconA(NIM_DELETE, &gTray.Record);
}

void BuildPopupMenu()
{
    gTray.PopupMenu.reset(CreatePopupMenu());
    const HMENU menu = gTray.PopupMenu.get();
    // Read once: a reload keeps the count at 0 until the new table is whole.
    const int32_t count = gHostTable.Count.load();
    for (int32_t index = 0; index < count; ++index) {
        HostEntry& host = gHostTable[index];
        FormatHostMenuLine(gTray.BuildBuffer, host);
        AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(index), gTray.BuildBuffer);
    }
    gTray.MenuHostLines = count;
    gTray.MenuGeneration = gHostTable.Generation;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kHelpCommand, "&Help");
    AppendMenuA(menu, MF_STRING, kSetupCommand, "&Configuration");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kExitCommand, "E&xit Quillo");
}

void PokeMenus()
{
    DebugTrace("- PokeMenus invoked");
    EnumWindows(&PokeIfOurMenu, 0);
}

bool RegisterMonitorClass()
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &MonitorWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = gInstance;
    windowClass.hIcon = LoadIconA(gInstance, "quillo");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kMonitorWindowName;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateMonitorWindow()
{
    return CreateWindowExA(0, kMonitorWindowName, kMonitorWindowName, 0, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                           nullptr, gInstance, nullptr);
}

LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        gTray.TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
        FitStateIcons(WindowDpi(window));
        UpdateTrayIcon(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        RemoveTrayIcon();
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        RunMenuCommand(window, wParam);
        return 0;
    case UM_PROD:
        DebugTrace("- UM_PROD rec'd");
        if (lParam == WM_LBUTTONUP) {
            ShowPopupMenu(window);
        } else if (lParam == NIN_BALLOONUSERCLICK) {
            // The icon keeps the first version's events, in which the shell
            // names the event itself, as it does for the mouse. Wine's shell
            // sends no notification events at all: there the host's menu line
            // starts the same reader.
            if (const std::optional<int32_t> host = BalloonHost())
                StartMailReader(*host);
        }
        DebugTrace("- UM_PROD done");
        return 0;
    case UM_NEWSTATE:
        UpdateOpenMenuLine(lParam);
        UpdateTrayIcon(window);
        return 0;
    case UM_NEWMAIL:
        DebugTrace("- UM_NEWMAIL rec'd");
        NotifyNewMail(static_cast<int32_t>(lParam));
        DebugTrace("- UM_NEWMAIL done");
        return 0;
    case UM_PAUSED:
        DebugTrace("- UM_PAUSED rec'd");
        ReloadHostTable();
        DebugTrace("- UM_PAUSED done");
        return 0;
    case UM_NEWCONFIG:
        DebugTrace("- UM_NEWCONFIG rec'd");
        RequestReload();
        DebugTrace("- UM_NEWCONFIG done");
        return 0;
    case UM_NEWSTATUS:
        UpdateOpenMenuLine(lParam);
        return 0;
    case kDpiChangedMessage:
        FitTrayIconToDpi(LOWORD(wParam));
        return 0;
    }
    if (message == gTray.TaskbarCreatedMessage && gTray.TaskbarCreatedMessage != 0) {
        // A shell started anew may draw at another size, e.g. after the DPI changed.
        FitStateIcons(WindowDpi(window));
        AddTrayIconAgain(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
