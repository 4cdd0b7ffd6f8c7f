// The tray icon's notifications and which host the last one was for.
#include "tray_balloon.h"

#include "monitor_platform.h"
#include "monitor_state.h"
#include "new_mail_text.h"

namespace {

struct BalloonState {
    // The host the last notification named, or -1; an index means that host
    // only in the table generation it was shown from.
    int32_t Host = -1;
    uint32_t Generation = 0;
};

// A click on the notification arrives at the window procedure long after it
// was shown, with nothing that names the host.
BalloonState gBalloon;

void ShowBalloon(const char* title, const std::string& text, DWORD flags)
{
    NOTIFYICONDATAA record{};
    record.cbSize = kBalloonRecordSize;
    record.hWnd = gMonitorWindow.load();
    record.uID = 0;
    record.uFlags = NIF_INFO;
    // A host name of any length: the shell takes at most 255 characters.
    lstrcpynA(record.szInfo, text.c_str(), sizeof record.szInfo);
    lstrcpynA(record.szInfoTitle, title, sizeof record.szInfoTitle);
    // Only versions before Vista read it; later ones take the user's setting.
    record.uTimeout = 10000;
    record.dwInfoFlags = flags;
    gMonitorPlatform.Shell_NotifyIconA(NIM_MODIFY, &record);
}

}  // namespace

void ShowNewMailBalloon(int32_t hostIndex, const std::string& text)
{
    gBalloon = {hostIndex, gHostTable.Generation};
    // The host's own sound has played already.
    ShowBalloon(kNotificationTitle, text, NIIF_INFO | NIIF_NOSOUND);
}

void ShowFirstStartBalloon()
{
    gBalloon = {};
    ShowBalloon(kFirstStartTitle, kFirstStartText, NIIF_INFO);
}

std::optional<int32_t> BalloonHost()
{
    if (gBalloon.Host < 0 || gBalloon.Generation != gHostTable.Generation || gBalloon.Host >= gHostTable.Count.load())
        return std::nullopt;
    return gBalloon.Host;
}

void ResetBalloonState()
{
    gBalloon = {};
}
