// The texts of the new-mail actions, free of the platform: what the user is
// told. How the reader's command line is read: common/reader_command.h.
#pragma once

#include <string>

// "You have new mail waiting on <name>!" (the host's HostEntry::Label), with "  Read it now?" after it when
// a mail reader is configured. The name is never cut, however long.
std::string NewMailText(const std::string& hostName, bool withReader);
