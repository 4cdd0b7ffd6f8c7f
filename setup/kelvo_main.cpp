// kelvo: the setup program's process entry.
#include "setup_app.h"

#include <windows.h>

namespace {

SetupApp gApp;

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return gApp.Run(instance);
}
