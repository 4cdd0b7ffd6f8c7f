// kelvo: the setup program's process entry.
#include "setup_app.h"

#include <windows.h>

namespace {

SetupApp App;

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return App.Run(instance);
}
