// The IMAP dialogue of one check (RFC 3501): greeting, STARTTLS when the
// host asks for it, LOGIN (or AUTHENTICATE with an OAuth access token)
// unless the server greets preauthenticated, STATUS of INBOX, LOGOUT. New
// mail is unseen mail: IMAP keeps a read flag, which POP3 does not.
#pragma once

#include "probe_connection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One whole server response: its first line, and for each literal in it
// ("{n}" at a line's end) the literal's first bytes and the line that follows;
// of a long line only its beginning.
struct ImapResponse {
    std::vector<std::string> Parts;  // line, then literal and line in turn
};

// The dialogue on a connection that is up (and already in TLS with
// SSL/TLS), after GuessState made it, from the greeting on. A host that
// signs in with OAuth does so with the access token (empty otherwise).
ProbeResult ImapDialogue(ProbeConnection& connection, const HostConfig& host, std::string accessToken);

// The value as a command argument: a quoted string, with \ and " escaped,
// when every byte can stand in one; nothing when it needs a literal (a CR,
// LF, NUL or 8-bit byte).
std::optional<std::string> QuotedString(const std::string& value);

// The number of unseen messages that an untagged STATUS response gives for
// INBOX, or nothing when it is no such response, is for another mailbox or
// is malformed.
std::optional<uint32_t> UnseenInInbox(const ImapResponse& response);
