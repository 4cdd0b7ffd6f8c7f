// The POP3 probe: one check of one host, run on the check thread. It is
// also where a check starts for every protocol.
#pragma once

#include "probe_connection.h"

// Runs the whole check of the host, in its protocol, on its port and with
// its security mode, and returns its new MailState (-1, 0 or 1); leaves the
// matching status text in the entry. The program passes its own settings
// (check_scheduler.cpp); a test passes a shorter bound or a scripted peer in
// place of the sockets.
int32_t GuessState(HostEntry& host, const ProbeSettings& settings);
