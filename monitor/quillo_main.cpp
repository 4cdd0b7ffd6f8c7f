// quillo: the mail monitor's process entry.
#include "check_scheduler.h"
#include "debug_trace.h"
#include "monitor_config.h"
#include "monitor_state.h"
#include "platform.h"
#include "tray_window.h"

#include <winsock.h>

#include <cinttypes>

#include <process.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    gInstance = instance;
    // A reload that ends the monitor must not leave a dead icon behind.
    gBeforeConfigExit = &RemoveTrayIcon;

    WSADATA winsock;
    if (WSAStartup(0x0101, &winsock) != 0) {
        gPlatform.MessageBoxA(nullptr, "Unable to initialize Winsock stack!  Aborting program.", kBoxCaption,
                              MB_ICONERROR);
        return 0;
    }

    LoadHostTable();
    DebugTrace("Our hInstance: %08" PRIXPTR, reinterpret_cast<uintptr_t>(instance));

    if (!RegisterMonitorClass())
        return 0;
    gReloadEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    const HWND window = CreateMonitorWindow();
    if (window == nullptr)
        return 0;
    gMonitorWindow = window;
    _beginthread(CheckThread, 4096, nullptr);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    WSACleanup();
    return static_cast<int>(message.wParam);
}
