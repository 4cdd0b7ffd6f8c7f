// Where the host editor hands over to the sign-in window: the provider's
// page in the browser, and the refresh token that it hands back.
#pragma once

#include "host_records.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// Runs the sign-in for the user name given, over `owner`, until the provider
// hands out a refresh token or the user gives up; the token, or nothing.
std::optional<std::string> RunSignInWindow(HWND owner, const OAuthProvider& provider, std::string_view user);
