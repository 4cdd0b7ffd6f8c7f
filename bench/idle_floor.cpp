// Wine's own idle floor: a Win32 program that does nothing but sleep one
// second at a time, the way the monitor's check thread waits between ticks.
#include <windows.h>

int main()
{
    for (;;)
        Sleep(1000);
}
