// Stands in for a program that another one starts (the monitor, the setup
// program, a mail reader): appends one line to the file named by
// QUILLO_STANDIN_LOG, "<own name>|<command line>|<current folder>", and ends.
#include <windows.h>

#include <cstdio>

int main()
{
    char logPath[MAX_PATH];
    if (GetEnvironmentVariableA("QUILLO_STANDIN_LOG", logPath, sizeof logPath) == 0)
        return 2;
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    const char* name = self;
    for (const char* p = self; *p; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    FILE* log = std::fopen(logPath, "a");
    if (log == nullptr)
        return 3;
    std::fprintf(log, "%s|%s|%s\n", name, GetCommandLineA(), folder);
    std::fclose(log);
    return 0;
}
