// The texts of the new-mail actions, free of the platform: what the user is
// told, and where a mail reader starts.
#pragma once

#include <optional>
#include <string>

// "You have new mail waiting on <name>!", with "  Read it now?" after it when
// a mail reader is configured. The name is never cut, however long.
std::string NewMailText(const std::string& hostName, bool withReader);

// The part of the reader's command line before its last backslash, arguments
// included; nothing when there is no backslash or nothing before it, and the
// reader then starts in the monitor's own folder.
std::optional<std::string> ReaderWorkingDirectory(const std::string& commandLine);
