// The text of a host's line in the tray menu.
#pragma once

#include <cstddef>

// A menu line is built in a buffer of this size.
inline constexpr size_t kMenuLineSize = 100;

inline constexpr char kNoStatusText[] = "(state unknown!)";

// "name: status"; a null status reads "(state unknown!)". A line that would
// be longer than 99 characters keeps the whole status text, which is what
// the user needs, and cuts the host name to end with "...".
void FormatMenuLine(char (&line)[kMenuLineSize], const char* name, const char* status);
