// Passwords kept by Windows' own data protection (CryptProtectData): only the
// same user on the same machine can open them, and only for the host that
// they were stored with.
#pragma once

#include "host_records.h"

#include <optional>
#include <string>

// The optional entropy that binds a password to everything that decides
// where and how it is sent, each field followed by a NUL: "Quillo password 1",
// the host name, the user id, and the decimal security mode, port and
// protocol of the host, as stored (a port of 0 is "0", not the mode's
// default; a number is its unsigned REG_DWORD). A blob paired with any other
// host, user, mode, port or protocol cannot be opened, so a password saved
// for TLS is never sent in plain text, nor one saved for IMAP over POP3.
std::string PasswordBinding(const HostConfig& host);

// The host's clear password as Windows protects it for the current user;
// nothing when Windows refuses.
std::optional<std::string> ProtectPassword(const HostConfig& host);

// The clear password inside a protected blob, or nothing when it cannot be
// opened here: another user's or machine's, damaged, or bound to another
// host.
std::optional<std::string> UnprotectPassword(const std::string& blob, const HostConfig& host);
