// What the user sees a host called, in the setup program's list and in
// every text of the monitor that names it. Portable: no Windows headers.
#pragma once

#include "host_records.h"

#include <cstddef>
#include <span>
#include <string>

// The host's server name; "user@server" instead when another host of the
// list has the same server name, so that two mailboxes on one server can be
// told apart. A host without a username keeps its server name. Server names
// are compared as the resolver compares them: A to Z whatever their case,
// every other byte as it is.
std::string HostLabel(std::span<const HostConfig> hosts, size_t index);
