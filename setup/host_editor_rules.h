// The rules by which the host editor turns what the user typed into a host
// record. Portable: no Windows headers, so they are tested natively.
#pragma once

#include "host_records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the registry can give back: a stored text holds at most 98 characters.
inline constexpr size_t kLongestFieldText = 98;

// A delay whose milliseconds still fit a signed 32-bit number.
inline constexpr int32_t kLongestDelay = 2147483;

inline constexpr int32_t kNewHostDelay = 30;
inline constexpr const char* kNewHostName = "New host";

// The record that Add creates.
HostConfig NewHost();

// A seconds text as the editor takes it: leading white space, one optional
// sign, then the digits up to the first other character. Only 1 to
// kLongestDelay is a usable delay; anything else (no digits, zero, negative,
// too large) gives nothing.
std::optional<int32_t> ParseSeconds(std::string_view text);

// Each Store* puts one editor value into a record field and reports whether
// the field's value changed.
bool StoreText(std::string& field, std::string_view text);
bool StoreSeconds(int32_t& delay, std::string_view text);

// position: the selected entry of the action list, or -1 when none is
// selected, which keeps whatever number the record holds.
bool StoreAction(int32_t& action, int position);

// The entry of the action list that shows an action, or -1 for a number
// that is no NewMailAction (the list then shows no entry).
int ActionPosition(int32_t action);
