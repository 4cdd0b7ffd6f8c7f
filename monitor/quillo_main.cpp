// quillo: the mail monitor's process entry.
#include "check_scheduler.h"
#include "control_messages.h"
#include "debug_trace.h"
#include "monitor_config.h"
#include "monitor_state.h"
#include "platform.h"
#include "single_instance.h"
#include "tray_balloon.h"
#include "tray_window.h"

#include <winsock2.h>

#include <cinttypes>
#include <string_view>

namespace {

constexpr const char* kCannotCheckText = "Unable to start checking for mail!  Aborting program.";

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int)
{
    // A second monitor would check the same mailboxes, and only one of the
    // two would hear of a save.
    const SingleInstance instanceLock(kMonitorInstanceName);
    if (!instanceLock.IsFirst())
        return 0;

    gInstance = instance;
    // A reload that ends the monitor must not leave a dead icon behind.
    gBeforeConfigExit = &RemoveTrayIcon;

    WSADATA winsock;
    if (WSAStartup(0x0202, &winsock) != 0) {
        gPlatform.MessageBoxA(nullptr, "Unable to initialize Winsock stack!  Aborting program.", kBoxCaption,
                              MB_ICONERROR);
        return 0;
    }

    LoadHostTable();
    DebugTrace("Our hInstance: %08" PRIXPTR, reinterpret_cast<uintptr_t>(instance));

    if (!RegisterMonitorClass())
        return 0;
    if (!CreateCheckEvents()) {
        gPlatform.MessageBoxA(nullptr, kCannotCheckText, kBoxCaption, MB_ICONERROR);
        return 1;
    }
    const HWND window = CreateMonitorWindow();
    if (window == nullptr)
        return 0;
    gMonitorWindow = window;
    const UniqueKernelHandle checkThread = StartCheckThread();
    if (!checkThread) {
        gPlatform.MessageBoxA(nullptr, kCannotCheckText, kBoxCaption, MB_ICONERROR);
        // Takes the tray icon with it. Not before the box: the quit message
        // that it posts would close the box at once.
        DestroyWindow(window);
        return 1;
    }
    if (arguments != nullptr && std::string_view(arguments) == kFirstStartSwitch)
        ShowFirstStartBalloon();

    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    const int status = static_cast<int>(message.wParam);
    // However the loop ended, a check may still be using the table and
    // Winsock: both go only once the check thread has ended.
    if (!StopCheckThread(checkThread.get(), kCheckThreadStopBoundMs)) {
        // It hangs in a name lookup. ExitProcess ends it before anything of
        // the process is released.
        ExitProcess(static_cast<UINT>(status));
    }
    FreeHostTable();
    WSACleanup();
    return status;
}
