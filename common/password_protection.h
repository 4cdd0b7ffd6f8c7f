// Passwords and refresh tokens kept by Windows' own data protection
// (CryptProtectData): only the same user on the same machine can open them,
// and only for the host that they were stored with. Only the setup program
// protects passwords (setup/password_protecting.h); tokens are protected by
// both, since the monitor stores the ones that its provider rotates.
#pragma once

#include "host_records.h"

#include <optional>
#include <string>

// How the clear text inside a protected blob is written. Older versions
// protected the bytes of the ANSI code page; now UTF-8 is protected, which
// holds every character that can be typed and is what servers expect.
enum class PasswordForm { Ansi = 1, Utf8 = 2 };

// The optional entropy that binds a password to everything that decides
// where and how it is sent, each field followed by a NUL: "Quillo password "
// and the form's number, the host name, the user id, and the decimal
// security mode, port and protocol of the host, as stored (a port of 0 is
// "0", not the mode's default; a number is its unsigned REG_DWORD). A blob
// paired with any other host, user, mode, port or protocol cannot be opened,
// so a password saved for TLS is never sent in plain text, nor one saved for
// IMAP over POP3. Since the form is bound too, Windows itself tells the forms
// apart: a blob opens with its own form's binding only.
std::string PasswordBinding(const HostConfig& host, PasswordForm form);

// The clear password inside a protected blob, as UTF-8 whichever form it
// was stored in, or nothing when it cannot be opened here: another user's or
// machine's, damaged, or bound to another host.
std::optional<std::string> UnprotectPassword(const std::string& blob, const HostConfig& host);

// A password that an older version kept in the bytes of the ANSI code page,
// as the same characters in UTF-8.
std::string AnsiPasswordToUtf8(const std::string& ansi);

// The binding of a refresh token, in the password's way but with a form of
// its own: "Quillo token 1", the host name, the user id, the security mode,
// port and protocol, then the provider's token endpoint and client id, each
// followed by a NUL. A token never opens for another provider or client, nor
// as a password, and a password never opens as a token.
std::string TokenBinding(const HostConfig& host);

// The host's RefreshToken as Windows protects it for the current user, bound
// to the host; nothing when Windows refuses.
std::optional<std::string> ProtectToken(const HostConfig& host);

// The clear refresh token inside a protected blob, or nothing when it cannot
// be opened here.
std::optional<std::string> UnprotectToken(const std::string& blob, const HostConfig& host);
