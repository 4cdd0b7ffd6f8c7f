// The records of configured hosts that both programs hold in memory.
// Portable: no Windows headers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum NewMailAction : int32_t {
    Nothing = 0,
    PopUpMessageBox = 1,
    LaunchMailReader = 2,
    ShowNotification = 3,
};

// How a host's connection is secured (Host%dSecurity), in stored-value order.
enum SecurityMode : int32_t {
    NoSecurity = 0,  // plain POP3
    StartTls = 1,    // plain connect, then STLS, then TLS
    SslTls = 2,      // TLS from the first byte
};

// The mail protocol a host is checked with (Host%dProtocol), in stored-value
// order.
enum MailProtocol : int32_t {
    Pop3 = 0,
    Imap = 1,
};

// How a host signs in to its server (Host%dAuth), in stored-value order.
enum SignInMethod : int32_t {
    PasswordSignIn = 0,  // USER/PASS, LOGIN
    OAuthSignIn = 1,     // a token from an OAuth 2.0 provider, sent with XOAUTH2 or OAUTHBEARER
};

// An OAuth 2.0 provider as a host names it. A public client: no secret.
struct OAuthProvider {
    std::string AuthorizeUrl;  // where the user signs in, in the browser
    std::string TokenUrl;      // where codes and refresh tokens become access tokens
    std::string ClientId;
    std::string Scope;      // space-separated, as sent
    std::string DeviceUrl;  // the device-authorization endpoint; empty when the provider has none

    bool operator==(const OAuthProvider&) const = default;
};

// The port of a host whose stored port is 0 (or absent): POP3 110, or 995
// with SSL/TLS; IMAP 143, or 993 with SSL/TLS.
constexpr int32_t DefaultPort(int32_t security, int32_t protocol = Pop3)
{
    if (protocol == Imap)
        return security == SslTls ? 993 : 143;
    return security == SslTls ? 995 : 110;
}

struct HostConfig {
    std::string Name;
    std::string UserID;
    std::string Password;  // clear text in UTF-8; only the registry holds the protected form
    std::string MailReader;
    std::string MailWave;
    int32_t Action = Nothing;
    int32_t Delay = 0;  // seconds between two checks
    // As stored, even out of range: a check of such a host fails at once,
    // and the setup program keeps the value until the user picks another.
    int32_t Security = NoSecurity;
    int32_t Port = 0;         // 0: DefaultPort(Security, Protocol)
    int32_t Protocol = Pop3;  // as stored, like Security
    // The stored password could not be opened here (another user's or
    // machine's, or bound to another host): Password is empty, the monitor
    // sends nothing for the host, and the user must enter it again.
    bool PasswordLost = false;
    int32_t Auth = PasswordSignIn;  // as stored, like Security
    OAuthProvider OAuth{};          // used only with OAuthSignIn
    // The provider's refresh token in clear text; only the registry holds the
    // protected form. Empty: nobody is signed in (or the stored token could
    // not be opened here).
    std::string RefreshToken{};
    // A token was stored but could not be opened here (another user's or
    // machine's, or bound to another host, provider or client): the user
    // must sign in again.
    bool TokenLost = false;

    // The setup program's own: the token is written only after a sign-in in
    // the dialog, since the monitor may have stored a newer one meanwhile
    // that an older copy must never replace.
    bool TokenChanged = false;
    // Where the host was read from (-1: added in the dialog, never stored),
    // and its protected token as read there, so that a host that moves to
    // another index keeps its token without opening it anew.
    int32_t StoredIndex = -1;
    std::optional<std::string> StoredToken{};
};
