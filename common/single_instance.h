// One copy of each program per user session: the first copy holds a named
// mutex for its whole life, and a later copy finds the name taken.
#pragma once

#include "win_handles.h"

// "Local\": one name per session, the user's own.
inline constexpr const char* kMonitorInstanceName = "Local\\Vantorel Works Quillo monitor";
inline constexpr const char* kSetupInstanceName = "Local\\Vantorel Works Quillo setup";

class SingleInstance {
public:
    explicit SingleInstance(const char* name);

    // False when another copy in this session holds the name.
    bool IsFirst() const { return first_; }

private:
    UniqueKernelHandle mutex_;
    bool first_ = true;
};
