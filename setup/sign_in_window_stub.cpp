// Stands in for the sign-in window until it is part of the program: no
// sign-in ever succeeds, so nothing is stored.
#include "sign_in_entry.h"

std::optional<std::string> RunSignInWindow(HWND, const OAuthProvider&, std::string_view)
{
    return std::nullopt;
}
