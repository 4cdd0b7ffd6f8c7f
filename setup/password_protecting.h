// Protecting a password for the registry, which only the setup program
// does; opening one, and the binding both use, are both programs'
// (common/password_protection.h).
#pragma once

#include "host_records.h"

#include <optional>
#include <string>

// The host's clear password (UTF-8) as Windows protects it for the current
// user, bound to the host in the UTF-8 form; nothing when Windows refuses.
std::optional<std::string> ProtectPassword(const HostConfig& host);
