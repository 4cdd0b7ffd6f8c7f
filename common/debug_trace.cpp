// DebugTrace formats only when somebody listens.
#include "debug_trace.h"

#include <cstdarg>
#include <cstdio>

DebugSink gDebugTraceSink = nullptr;

int DebugTrace(const char* format, ...)
{
    if (gDebugTraceSink == nullptr)
        return 0;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    gDebugTraceSink(line);
    return 0;
}
