// The providers that Quillo knows by name, with the values that the setup
// program fills in when the user picks one.
#pragma once

#include "host_records.h"

#include <cstdint>

// Where a preset's mailboxes live.
struct MailServerPreset {
    const char* Name;
    int32_t ImapPort;  // with SSL/TLS
    int32_t Pop3Port;  // with SSL/TLS
};

// Outlook.com, Hotmail, Live, MSN and Microsoft 365 mailboxes, for personal
// and work or school accounts alike (the "common" tenant). The client ID is
// the one this build was made with (the CMake cache variable
// QUILLO_MICROSOFT_CLIENT_ID), empty when none: the user must then enter
// one registered for their organisation or themselves.
OAuthProvider MicrosoftAccountProvider();

inline constexpr MailServerPreset kMicrosoftMailServer{"outlook.office365.com", 993, 995};
