// The OAuth test rig, reached from a Windows test program under Wine: the test
// run's authorization server (HTTPS on 127.0.0.80:443) with its test hooks,
// the Dovecot that takes its tokens (127.0.0.81), and the stand-in browser
// that Wine's winebrowser starts for a sign-in address. Fixture oauth_rig
// starts the server and that Dovecot before the first test that names it and
// stops them after the last; tls_ca makes the prefix trust their certificates.
#pragma once

#include "dovecot_server.h"
#include "host_records.h"

#include <optional>
#include <string>

struct TokenPair {
    std::string AccessToken;
    std::string RefreshToken;  // empty without offline_access in the scope
};

// What the authorization server has served since it started.
struct RigCounters {
    int RefreshGrants = 0;
    int CodeGrants = 0;
    int DevicePolls = 0;
    std::string LastRefreshToken;
};

class OAuthRig {
public:
    // Whom the stand-in browser signs in as when its mode names nobody; the
    // server knows no users and takes any.
    static constexpr char kUser[] = "alice@quillo.test";

    // The test run's rig.
    static OAuthRig Shared();

    // The provider that a host signing in at the rig names: its endpoints,
    // the registered client (public, no secret) and Microsoft's scope names.
    OAuthProvider Provider() const;
    const DovecotServer& Dovecot() const { return dovecot_; }
    // The user's mailbox at the rig's Dovecot, over SSL/TLS, signing in with
    // the rig's provider, as the setup program saves it.
    HostConfig Mailbox(const std::string& user, int32_t protocol = Imap) const;

    // For tests of an unreachable server; the fixture starts it. A start
    // forgets every token, code and counter.
    bool StartAuthorizationServer() const;
    bool StopAuthorizationServer() const;
    bool StartDovecot() const;

    // A token pair for the user, as if the user had signed in in the browser
    // (no refresh token unless the scope holds offline_access; an empty scope
    // asks for IMAP, POP and offline_access).
    std::optional<TokenPair> IssueTokens(const std::string& user, const std::string& scope = "") const;
    // Every access token expires, or only that one; Dovecot then refuses it.
    bool ExpireAccessTokens(const std::string& accessToken = "") const;
    // The user's refresh tokens die (invalid_grant), or only that one.
    bool RevokeRefreshTokensOf(const std::string& user) const;
    bool RevokeRefreshToken(const std::string& refreshToken) const;
    // The next `count` token requests get a 500 page, or no answer at all
    // (the connection stays open for two minutes).
    bool FailTokenRequests(int count) const;
    bool HangTokenRequests(int count) const;
    // expires_in, device_interval or device_expires_in, in seconds.
    bool Configure(const std::string& setting, int seconds) const;
    std::optional<RigCounters> Counters() const;

    // What the stand-in browser does with the next address it is given:
    // "approve USER", "deny", "wrong-state [USER]" or "ignore".
    bool SetBrowserMode(const std::string& mode) const;
    // Makes the stand-in the browser of the current Wine prefix's user, or
    // no longer.
    bool InstallBrowser() const;
    bool UninstallBrowser() const;

    std::string BrowserLog() const;
    // Requests and grants, tokens shortened to their first characters.
    std::string ServerLog() const;

private:
    OAuthRig(std::string address, std::string state, DovecotServer dovecot);
    // A hook's reply, one "name=value" per line.
    std::optional<std::string> Hook(const std::string& arguments) const;
    bool Script(const std::string& arguments, std::string& output) const;

    std::string address_;
    std::string state_;
    DovecotServer dovecot_;
};
