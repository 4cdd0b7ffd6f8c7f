// What the setup program edits: the host list as loaded and changed in the
// dialog, which record the editor shows, and the two flags beside it. The
// dialog owns one; LoadConfig and SaveConfig take it. Portable: no Windows
// headers.
#pragma once

#include "host_records.h"

#include <cstdint>
#include <vector>

struct SetupModel {
    std::vector<HostConfig> HostList;
    // Index of the record whose values are in the editor fields; -1: none.
    int32_t CurrentHost = -1;
    int32_t ConfigDirty = 0;    // unsaved changes exist
    int32_t NoSavedConfig = 0;  // the key or "HostCount" was missing: a first run
    // What the token stored at each index is bound to, as the registry holds
    // it now (loaded, or saved last): the values that a save opens it with
    // before it binds it to the host's new ones. Nothing else of the hosts.
    std::vector<HostConfig> StoredBindings;

    int32_t HostCount() const { return static_cast<int32_t>(HostList.size()); }
};
