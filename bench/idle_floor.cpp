// Wine's own idle floor: a Win32 program that does nothing but sleep one
// second at a time, the way the monitor's check thread waits between ticks.
// DLL names on the command line are loaded first, so that a second floor can
// carry the same DLLs as the monitor and show what they alone cost.
#include <windows.h>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        LoadLibraryA(argv[i]);
    for (;;)
        Sleep(1000);
}
