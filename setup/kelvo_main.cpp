// kelvo: the setup program's process entry.
#include "setup_app.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    SetupApp app;
    return app.Run(instance);
}
