// The host lines of the tray menu, cut to fit their buffer, never overflowing it.
#include "menu_lines.h"

#include <cstdio>
#include <cstring>

void FormatMenuLine(char (&line)[kMenuLineSize], const char* name, const char* status)
{
    if (status == nullptr)
        status = kNoStatusText;
    const size_t room = kMenuLineSize - 1;
    const size_t nameLength = std::strlen(name);
    const size_t statusLength = std::strlen(status);
    if (nameLength + 2 + statusLength <= room) {
        std::snprintf(line, sizeof line, "%s: %s", name, status);
        return;
    }
    const size_t fixed = 3 + 2 + statusLength;  // "...", ": ", the status
    const int kept = fixed < room ? static_cast<int>(room - fixed) : 0;
    // snprintf cuts whatever still does not fit (a status text beyond any
    // the monitor has) at the buffer's end.
    std::snprintf(line, sizeof line, "%.*s...: %s", kept, name, status);
}

void FormatHostMenuLine(char (&line)[kMenuLineSize], const HostEntry& host)
{
    const char* status = host.StatusText.load();
    const int64_t nextTryMs = host.NextTryMs.load();
    if (nextTryMs <= 0) {
        FormatMenuLine(line, host.Name.c_str(), status);
        return;
    }
    // While the check itself runs, the elapsed time has passed the wait.
    const int64_t leftMs = nextTryMs - host.ElapsedMs.load();
    const int64_t minutes = leftMs <= 0 ? 1 : (leftMs + 59999) / 60000;
    char statusWithNextTry[kMenuLineSize];
    std::snprintf(statusWithNextTry, sizeof statusWithNextTry, "%s (next try in %lld minute%s)",
                  status != nullptr ? status : kNoStatusText, static_cast<long long>(minutes), minutes == 1 ? "" : "s");
    FormatMenuLine(line, host.Name.c_str(), statusWithNextTry);
}
