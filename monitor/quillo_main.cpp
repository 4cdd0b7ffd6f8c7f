// quillo: the mail monitor's process entry.
#include "config_store.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    LoadHostTable();
    return 0;
}
