// The text of a host's line in the tray menu.
#pragma once

#include "host_table.h"

#include <cstddef>
#include <cstdint>

// A menu line is built in a buffer of this size.
inline constexpr size_t kMenuLineSize = 100;

inline constexpr char kNoStatusText[] = "(state unknown!)";

// "name: status"; a null status reads "(state unknown!)". A line that would
// be longer than 99 characters keeps the whole status text, which is what
// the user needs, and cuts the host name to end with "...".
void FormatMenuLine(char (&line)[kMenuLineSize], const char* name, const char* status);

// The host's line: its label (HostEntry::Label), its status and, while refused logins hold off its checks,
// " (next try in N minutes)" with the time left rounded up to whole minutes,
// at least one. The suffix counts as part of the status, so it is never cut.
void FormatHostMenuLine(char (&line)[kMenuLineSize], const HostEntry& host);
