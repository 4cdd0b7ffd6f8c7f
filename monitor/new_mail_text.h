// The texts of the new-mail actions, free of the platform: what the user is
// told. How the reader's command line is read: common/reader_command.h.
#pragma once

#include <cstdint>
#include <string>

// "You have new mail waiting on <name>!" (the host's HostEntry::Label), with "  Read it now?" after it when
// a mail reader is configured. The name is never cut, however long.
std::string NewMailText(const std::string& hostName, bool withReader);

// The notification's title and text: "3 new messages for <name>", "1 new
// message for <name>", or, with no count to tell (below 1: none that fits
// new mail), "New mail for <name>".
inline constexpr char kNotificationTitle[] = "New mail";
std::string NotificationText(const std::string& hostName, int32_t count);
