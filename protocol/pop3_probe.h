// The POP3 dialogue of one check: STLS when the host asks for it, CAPA,
// USER and PASS (or AUTH with an OAuth access token), STAT, QUIT, and the
// verdict whether the mailbox holds anything.
#pragma once

#include "probe_connection.h"

#include <string>

// The dialogue on a connection that is up (and already in TLS with
// SSL/TLS), after GuessState made it, from the greeting on. A host that
// signs in with OAuth does so with the access token (empty otherwise).
ProbeResult Pop3Dialogue(ProbeConnection& connection, const HostConfig& host, std::string accessToken);
