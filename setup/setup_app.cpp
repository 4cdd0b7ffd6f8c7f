#include "setup_app.h"

#include "setup_dialog.h"
#include "single_instance.h"

#include <new>

namespace {

// The dialog of the copy that runs, in front of the user, with whatever box
// it has open on top of it.
void BringSetupDialogToFront()
{
    const HWND dialog = FindWindowA(WC_DIALOG, kSetupDialogTitle);
    if (dialog == nullptr)
        return;  // still starting up, or already ending
    // Restored by its own thread, as a click on its taskbar button would.
    if (IsIconic(dialog))
        PostMessageA(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
    SetForegroundWindow(GetLastActivePopup(dialog));
}

}  // namespace

int SetupApp::Run(HINSTANCE instance)
{
    // A second dialog's save would silently undo the first one's.
    const SingleInstance instanceLock(kSetupInstanceName);
    if (!instanceLock.IsFirst()) {
        BringSetupDialogToFront();
        return 0;
    }
    try {
        SetupDialog dialog(instance);
        dialog.RunModal(nullptr);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
    return 0;
}
