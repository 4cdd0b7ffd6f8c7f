// The POP3 probe: one check of one host, run on the check thread.
#pragma once

#include "host_records.h"

// Runs the whole dialogue for the host and returns its new MailState (-1, 0
// or 1); leaves the matching status text in the entry.
int32_t GuessState(HostEntry& host);
