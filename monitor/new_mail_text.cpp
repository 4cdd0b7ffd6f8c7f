// The texts of the new-mail actions; see new_mail_text.h.
#include "new_mail_text.h"

std::string NewMailText(const std::string& hostName, bool withReader)
{
    // No fixed buffer: a host name of any length fits whole.
    std::string text = "You have new mail waiting on " + hostName + "!";
    if (withReader)
        text += "  Read it now?";
    return text;
}

std::string NotificationText(const std::string& hostName, int32_t count)
{
    if (count < 1)
        return "New mail for " + hostName;
    return std::to_string(count) + (count == 1 ? " new message for " : " new messages for ") + hostName;
}
