// The browser's return to the loopback listener: a code only with this
// sign-in's state, the provider's refusal, and everything else ignored; and
// the page the browser gets back.
#include "loopback_redirect.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OAuthRedirect, OnlyTheReturnWithThisSignInsStateYieldsItsCode)
{
    using enum RedirectOutcome;
    const struct {
        const char* request;
        RedirectOutcome outcome;
        const char* code;
        const char* error;
    } kCases[] = {
        {"GET /?code=M.R3%2Fa+b&state=s-1 HTTP/1.1\r\nHost: 127.0.0.1:50123\r\n\r\n", Code, "M.R3/a b", ""},
        {"GET /?session_state=x&state=s%2D1&code=abc HTTP/1.0", Code, "abc", ""},
        {"GET /?error=access_denied&error_description=The+user+said+no&state=s-1 HTTP/1.1", Denied, "",
         "access_denied"},
        {"GET /?code=abc&error=server_error&state=s-1 HTTP/1.1", Denied, "", "server_error"},
        {"GET /?error=%01&state=s-1 HTTP/1.1", Denied, "", ""},
        // Not the return: 404, and the listener waits on.
        {"GET /favicon.ico HTTP/1.1", Ignore, "", ""},
        {"GET / HTTP/1.1", Ignore, "", ""},
        {"GET /?state=s-1 HTTP/1.1", Ignore, "", ""},
        {"POST /?code=abc&state=s-1 HTTP/1.1", Ignore, "", ""},
        {"GET /x?code=abc&state=s-1 HTTP/1.1", Ignore, "", ""},
        {"GET /?code=abc&state=s-1", Ignore, "", ""},
        {"GET /?code=abc&state=s-1 HTTP/2", Ignore, "", ""},
        {"GET /?code=a%zz&state=s-1 HTTP/1.1", Ignore, "", ""},
        {"GET /?code=a%2&state=s-1 HTTP/1.1", Ignore, "", ""},
        {"GET /?code=&state=s-1 HTTP/1.1", Ignore, "", ""},
        {"GET /?code=a%0D%0A&state=s-1 HTTP/1.1", Ignore, "", ""},
        {"", Ignore, "", ""},
        // Another sign-in's code, or someone else's: never used.
        {"GET /?code=abc&state=s-2 HTTP/1.1", StateMismatch, "", ""},
        {"GET /?code=abc HTTP/1.1", StateMismatch, "", ""},
        {"GET /?code=abc&state=S-1 HTTP/1.1", StateMismatch, "", ""},
        {"GET /?code=abc&state=s-1x HTTP/1.1", StateMismatch, "", ""},
        {"GET /?code=abc&state=s-1&state=s-2 HTTP/1.1", StateMismatch, "", ""},
        {"GET /?code=abc&code=def&state=s-1 HTTP/1.1", StateMismatch, "", ""},
        {"GET /?error=access_denied&state= HTTP/1.1", StateMismatch, "", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.request);
        const RedirectRequest redirect = ReadRedirectRequest(c.request, "s-1");
        EXPECT_EQ(redirect.Outcome, c.outcome);
        EXPECT_EQ(redirect.Code, c.code);
        EXPECT_EQ(redirect.Error, c.error);
    }
    // Without a state of its own, a sign-in takes nothing.
    EXPECT_EQ(ReadRedirectRequest("GET /?code=abc&state= HTTP/1.1", "").Outcome, StateMismatch);
}

TEST(OAuthRedirect, TheBrowserGetsACompletePageThatSendsTheUserBackToQuillo)
{
    const struct {
        std::string response;
        const char* start;
        const char* text;
    } kCases[] = {
        {RedirectPage(true), "HTTP/1.1 200 OK\r\n", "You are signed in. You can close this page and return to Quillo."},
        {RedirectPage(false), "HTTP/1.1 200 OK\r\n", "Sign-in did not complete. Return to Quillo to try again."},
        {NotFoundResponse(), "HTTP/1.1 404 Not Found\r\n", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.response);
        EXPECT_TRUE(c.response.starts_with(c.start));
        const size_t headEnd = c.response.find("\r\n\r\n");
        ASSERT_NE(headEnd, std::string::npos);
        const std::string head = c.response.substr(0, headEnd + 2);
        const std::string body = c.response.substr(headEnd + 4);
        EXPECT_NE(head.find("\r\nConnection: close\r\n"), std::string::npos);
        EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
        EXPECT_NE(body.find(c.text), std::string::npos);
    }
}

}  // namespace
