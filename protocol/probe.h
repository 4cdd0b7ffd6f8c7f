// The probe: one check of one host, run on the monitor's check thread. It
// makes the connection (in TLS from the first byte with SSL/TLS), hands it
// to the dialogue of the host's protocol, and returns what the check found.
#pragma once

#include "host_records.h"
#include "probe_result.h"

// Runs the whole check of the host, in its protocol, on its port and with
// its security mode. The program passes its own settings
// (check_scheduler.cpp) with the check thread's progress report
// (scheduler_rules.cpp); a test passes a shorter bound or a scripted peer in
// place of the sockets.
ProbeResult GuessState(const HostConfig& host, const ProbeSettings& settings);
