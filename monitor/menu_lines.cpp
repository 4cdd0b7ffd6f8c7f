// The host lines of the tray menu, cut to fit their buffer, never overflowing it.
#include "menu_lines.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Copies as much of the text as fits before `last`, the byte kept for the
// terminating NUL, and returns the new end.
char* AppendCut(char* end, const char* last, std::string_view text)
{
    const size_t length = std::min(text.size(), static_cast<size_t>(last - end));
    std::memcpy(end, text.data(), length);
    return end + length;
}

}  // namespace

void FormatMenuLine(char (&line)[kMenuLineSize], const char* name, const char* status)
{
    if (status == nullptr)
        status = kNoStatusText;
    const size_t room = kMenuLineSize - 1;
    const std::string_view nameText = name;
    const std::string_view statusText = status;
    char* const last = line + room;
    char* end = line;
    if (nameText.size() + 2 + statusText.size() <= room) {
        end = AppendCut(end, last, nameText);
    } else {
        const size_t fixed = 3 + 2 + statusText.size();  // "...", ": ", the status
        end = AppendCut(end, last, nameText.substr(0, fixed < room ? room - fixed : 0));
        end = AppendCut(end, last, "...");
    }
    // Whatever still does not fit (a status text beyond any the monitor has)
    // is cut at the buffer's end.
    end = AppendCut(end, last, ": ");
    end = AppendCut(end, last, statusText);
    *end = '\0';
}

void FormatHostMenuLine(char (&line)[kMenuLineSize], const HostEntry& host)
{
    const char* status = host.StatusText.load();
    const int64_t nextTryMs = host.NextTryMs.load();
    if (nextTryMs <= 0) {
        FormatMenuLine(line, host.Label.c_str(), status);
        return;
    }
    // While the check itself runs, the elapsed time has passed the wait.
    const int64_t leftMs = nextTryMs - host.ElapsedMs.load();
    const int64_t minutes = leftMs <= 0 ? 1 : (leftMs + 59999) / 60000;
    char statusWithNextTry[kMenuLineSize];
    std::snprintf(statusWithNextTry, sizeof statusWithNextTry, "%s (next try in %lld minute%s)",
                  status != nullptr ? status : kNoStatusText, static_cast<long long>(minutes), minutes == 1 ? "" : "s");
    FormatMenuLine(line, host.Label.c_str(), statusWithNextTry);
}
