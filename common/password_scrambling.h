// Password scrambling: the form in which older versions kept a host's POP3
// password in the registry, still read until the next save protects it
// (password_protection.h). Not a cipher: it only keeps the clear text out of
// sight.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Entries 0 to 14 are the keys; entry 15 is their count, where the key walk wraps.
extern const int32_t PasswordKeyTable[16];

// The scrambled form has the clear text's length and never holds a zero
// byte, so it is stored as an ordinary REG_SZ. Returns nothing when the
// result does not unscramble back to the input (a clear text holding a zero
// byte; nothing else).
std::optional<std::string> ScramblePassword(const std::string& clear);

std::string UnscramblePassword(const std::string& scrambled);
