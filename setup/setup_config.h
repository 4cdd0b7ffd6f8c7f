// The setup program's side of the configuration: loading and saving its
// host list (held in a SetupModel), and telling or starting the monitor
// after a save.
#pragma once

#include "config_store.h"
#include "host_records.h"
#include "setup_model.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Loads the model's host list; NoSavedConfig is set when there is none. A
// stored value that the dialog cannot take as it is (a required number that
// is no number, a text longer than a field keeps) is offered for repair in a
// Yes/No box; Yes sets ConfigDirty, No ends the program.
void LoadConfig(SetupModel& model);

// Whether a byte of a text in the ANSI code page, as the registry keeps it,
// starts a two-byte character.
bool IsAnsiLeadByte(char byte);

// Writes every host, then "HostCount", so that a save cut short never leaves
// a count pointing at missing values, then deletes every value of the hosts
// beyond the count; then tells or starts the monitor. A host's refresh token
// is written only when TokenChanged (a sign-in in the dialog) is set; else
// the token stored at the host's index stays, a host that moved takes its
// stored token along, and one whose name, user id, security mode, port or
// protocol changed has the token stored now bound to its new values; a
// changed token endpoint or client ID deletes it. When a value cannot be
// stored or deleted it says so, leaves ConfigDirty set and returns false
// without telling the monitor. The first save of hosts where none were
// stored (NoSavedConfig) starts the monitor with the first-start switch and
// clears NoSavedConfig.
bool SaveConfig(SetupModel& model);

// Writers; true when the value was stored.
bool WriteHostString(HKEY key, const char* pattern, int32_t index, const std::string& text);
bool WriteHostDword(HKEY key, const char* pattern, int32_t index, int32_t number);

// Posts UM_NEWCONFIG to the first window titled "ZT-Quillo" (any letter
// case); true when one was found.
bool FindMonitor();

// Starts the monitor, with the first-start switch when asked; a failure is
// reported in a box.
void LaunchMonitor(bool firstStart = false);
