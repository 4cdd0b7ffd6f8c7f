// A help viewer planted beside the test programs, where a search by bare name
// would take it before the system's own; the programs must never load it.
#include <windows.h>

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpA(HWND, LPCSTR, UINT, DWORD_PTR)
{
    return nullptr;
}
