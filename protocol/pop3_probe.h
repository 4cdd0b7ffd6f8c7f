// The POP3 dialogue of one check: STLS when the host asks for it, CAPA,
// USER, PASS, STAT, QUIT, and the verdict whether the mailbox holds
// anything.
#pragma once

#include "probe_connection.h"

// The dialogue on a connection that is up (and already in TLS with
// SSL/TLS), after GuessState made it, from the greeting on.
ProbeResult Pop3Dialogue(ProbeConnection& connection, const HostConfig& host);
