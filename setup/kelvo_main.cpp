// kelvo: the setup program's process entry.
#include "config_store.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    LoadConfig();
    return 0;
}
