// The setup program's "Sign in" window: it runs a sign-in with the provider
// on a thread of its own (oauth/sign_in_flow.h), shows where it stands, and
// hands back the refresh token, or tells the user why there is none.
#pragma once

#include "host_records.h"
#include "provider_http.h"
#include "sign_in_flow.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// How long a sign-in may take before the window gives up: a system that
// "opens" the address without a browser would otherwise wait for ever.
inline constexpr uint64_t kSignInLimitSeconds = 300;
// Each step of a request to the provider.
inline constexpr int kProviderBoundMs = 30000;

// What the window's sign-in reaches beyond this machine: the provider and
// the browser. A test hands in stand-ins.
struct SignInEdge {
    FormPoster Post;
    std::function<void(const std::string& url)> OpenInBrowser;
    uint64_t LimitMs = kSignInLimitSeconds * 1000;
};

// PostForm, the browser that the system opens addresses with, and the time
// limit, which the environment variable QUILLO_SIGN_IN_LIMIT_SECONDS may set
// (for the end-to-end test, which cannot wait five minutes).
SignInEdge RealSignInEdge();

// The modal "Sign in" window for the mailbox of `user`: the refresh token
// when the sign-in succeeded; nothing otherwise, after the window said why
// (nothing when the user cancelled).
std::optional<std::string> RunSignInWindow(HWND owner, const OAuthProvider& provider, std::string_view user);
// Its shape, for the setup program's table of platform calls.
using SignInWindowRunner = std::optional<std::string> (*)(HWND owner, const OAuthProvider& provider,
                                                          std::string_view user);

// The same with the provider and the browser given.
std::optional<std::string> RunSignInWindow(HWND owner, const OAuthProvider& provider, std::string_view user,
                                           const SignInEdge& edge);

// The caption of the window's template.
inline constexpr const wchar_t* kSignInWindowTitle = L"Sign in";

// Why a sign-in ended without a token, for the box after the window; empty
// when the user cancelled.
std::string SignInFailureText(const SignInResult& result);

inline constexpr const char* kSignInDeniedText =
    "The sign-in was declined in the browser. Nothing was saved.\n\n"
    "To check this mailbox, sign in again and allow Quillo access.";
inline constexpr const char* kSignInTimedOutText =
    "The sign-in was not finished in time. Nothing was saved.\n\n"
    "Sign in again. If no browser page opened, use Copy link and open the address in your browser yourself.";
inline constexpr const char* kSignInStateMismatchText =
    "The browser returned an answer that does not belong to this sign-in, so Quillo did not use it. "
    "Nothing was saved.\n\n"
    "Close other sign-in pages and sign in again.";
// %s: the provider's error code.
inline constexpr const char* kSignInRefusedText =
    "The sign-in server refused the sign-in (error: %s). Nothing was saved.\n\n"
    "Check the provider's addresses, client ID and scope, then sign in again.";
inline constexpr const char* kSignInUnreachableText =
    "Quillo could not reach the sign-in server, or it did not answer properly. Nothing was saved.\n\n"
    "Check your internet connection and the provider's addresses, then sign in again.";
inline constexpr const char* kSignInNoRefreshTokenText =
    "The sign-in worked, but the provider gave Quillo no refresh token, so Quillo could not stay signed in. "
    "Nothing was saved.\n\n"
    "Add offline_access to the scope and sign in again.";
inline constexpr const char* kSignInNoListenerText =
    "Quillo could not open a local port for the browser to return to. Nothing was saved.\n\n"
    "Check that no security program blocks Quillo, then sign in again.";
inline constexpr const char* kSignInNoRandomText =
    "Windows gave Quillo no random numbers to protect the sign-in with. Nothing was saved.\n\n"
    "Try again.";
