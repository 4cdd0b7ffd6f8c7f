// The browser's return to the loopback listener after the user signed in (or
// did not): what its request says, and the page the listener answers with.
// Any program on the machine can connect to the listener, so the request is
// read as other people's bytes. Portable.
#pragma once

#include <string>
#include <string_view>

enum class RedirectOutcome {
    Code,           // the provider's code for this sign-in, to be exchanged for tokens
    Denied,         // the provider's error for this sign-in (access_denied when the user said no)
    Ignore,         // not the return (a favicon, anything else): answered 404, the listener keeps waiting
    StateMismatch,  // a code or error without this sign-in's state: its code is never used
};

struct RedirectRequest {
    RedirectOutcome Outcome = RedirectOutcome::Ignore;
    std::string Code;   // with Code only
    std::string Error;  // with Denied only; empty when the error could not be read
};

// Reads the request line ("GET /?code=..&state=.. HTTP/1.1", anything after
// its line end aside): the query of the path "/" decoded, '+' as a space.
// The state must be given once and equal expectedState exactly.
RedirectRequest ReadRedirectRequest(std::string_view request, std::string_view expectedState);

// The whole HTTP response for the browser's return: a short page that sends
// the user back to Quillo, saying whether the sign-in worked.
std::string RedirectPage(bool signedIn);

// The answer to anything the listener ignores.
std::string NotFoundResponse();
