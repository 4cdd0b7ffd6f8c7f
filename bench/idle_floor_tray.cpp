// The least that an idle tray monitor could cost under Wine: what the idle
// quillo.exe visibly does and nothing more. It imports the DLLs that the
// monitor imports and loads any other DLL named on its command line, shows
// one tray icon on a hidden top-level window whose messages it pumps (under
// Wine the first window loads the display driver and opens its connection),
// and keeps a second thread that wakes once a second, as the check thread
// does between ticks. It loads no icons of its own, reads no configuration
// and opens no passwords.
#include <winsock2.h>
#include <windows.h>

#define SECURITY_WIN32
#include <mmsystem.h>
#include <security.h>
#include <process.h>
#include <shellapi.h>
#include <wincrypt.h>
#include <winhttp.h>
#include <bcrypt.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr char kClassName[] = "idle_floor_tray";

// One function of each DLL in the monitor's import table, so that the floor
// imports them too. A DLL loaded later with LoadLibraryA is not always put at
// its own base under Wine (crypt32.dll is moved, and its moved code pages
// cost about 0.3 MB), while an imported one is, as in the monitor.
void* const volatile kImports[] = {
    reinterpret_cast<void*>(&RegCloseKey),    reinterpret_cast<void*>(&CryptUnprotectData),
    reinterpret_cast<void*>(&GetStockObject), reinterpret_cast<void*>(&sndPlaySoundA),
    reinterpret_cast<void*>(&WSAStartup),     reinterpret_cast<void*>(&FreeContextBuffer),
    reinterpret_cast<void*>(&WinHttpOpen),    reinterpret_cast<void*>(&BCryptGenRandom),
};

// Like the check thread between ticks: a wait on an event that could end it
// at once, one second at a time.
unsigned __stdcall SleepForEver(void* event)
{
    for (;;)
        WaitForSingleObject(static_cast<HANDLE>(event), 1000);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    for (int i = 1; i < __argc; ++i)
        LoadLibraryA(__argv[i]);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    if (RegisterClassA(&windowClass) == 0)
        return 1;
    const HWND window = CreateWindowExA(0, kClassName, kClassName, 0, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                        nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;

    NOTIFYICONDATAA icon{};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = window;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = WM_APP;
    icon.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    lstrcpynA(icon.szTip, kClassName, sizeof icon.szTip);
    Shell_NotifyIconA(NIM_ADD, &icon);

    const HANDLE neverSet = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (neverSet == nullptr)
        return 1;
    const uintptr_t thread = _beginthreadex(nullptr, 0, &SleepForEver, neverSet, 0, nullptr);
    if (thread == 0)
        return 1;
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
