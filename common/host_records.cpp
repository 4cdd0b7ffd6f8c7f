// The monitor's overall mail state over its host table.
#include "host_records.h"

#include <algorithm>

MailState OverallState(HostTable& table)
{
    int32_t overall = Unknown;
    const int32_t count = table.Count.load();
    for (int32_t i = 0; i < count; ++i)
        overall = std::max(overall, table[i].State.load());
    return static_cast<MailState>(overall);
}
