// The state icons at the notification area's size. The per-monitor calls are
// looked up at run time: Windows before 10 has none, and the program would
// not start there if it imported them.
#include "tray_icons.h"

#include <utility>

namespace {

template <typename Call>
Call User32Call(const char* name)
{
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 == nullptr ? nullptr : reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

UINT SystemDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

UINT WindowDpi(HWND window)
{
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Call<GetDpiForWindowCall>("GetDpiForWindow");
    if (getDpiForWindow != nullptr)
        if (const UINT dpi = getDpiForWindow(window); dpi != 0)
            return dpi;
    return SystemDpi();
}

int SmallIconSize(UINT dpi)
{
    using GetSystemMetricsForDpiCall = int(WINAPI*)(int, UINT);
    static const auto getSystemMetricsForDpi = User32Call<GetSystemMetricsForDpiCall>("GetSystemMetricsForDpi");
    if (getSystemMetricsForDpi != nullptr)
        if (const int size = getSystemMetricsForDpi(SM_CXSMICON, dpi); size > 0)
            return size;
    // Without per-monitor metrics the system's are at the system's DPI.
    return MulDiv(GetSystemMetrics(SM_CXSMICON), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

bool LoadStateIcons(HINSTANCE instance, int size, StateIconSet& icons)
{
    static constexpr const char* kNames[3] = {"unknown", "nomail", "newmail"};
    StateIconSet loaded;
    for (int state = 0; state < 3; ++state) {
        // Not shared: each size is an icon of its own, destroyed with its owner.
        loaded.Icons[state].reset(
            static_cast<HICON>(LoadImageA(instance, kNames[state], IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
        if (!loaded.Icons[state])
            return false;
    }
    loaded.Size = size;
    icons = std::move(loaded);
    return true;
}
