#include "setup_app.h"

#include "setup_dialog.h"

#include <new>

int SetupApp::Run(HINSTANCE instance)
{
    try {
        SetupDialog dialog(instance);
        dialog.RunModal(nullptr);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
    return 0;
}
