// The monitor's host table: how it is filled, its overall mail state, and
// the slots of the servers' own words.
#include "host_table.h"

#include "host_labels.h"

#include <algorithm>
#include <string_view>

void FillHostTable(HostTable& table, std::vector<HostConfig> hosts)
{
    table.Count = 0;
    ++table.Generation;
    table.Entries.reset();
    const auto count = static_cast<int32_t>(hosts.size());
    if (count == 0)
        return;
    auto entries = std::make_unique<HostEntry[]>(hosts.size());
    // Every label before any host is moved: each compares all server names.
    for (int32_t index = 0; index < count; ++index)
        entries[index].Label = HostLabel(hosts, static_cast<size_t>(index));
    for (int32_t index = 0; index < count; ++index) {
        static_cast<HostConfig&>(entries[index]) = std::move(hosts[index]);
        entries[index].Index = index;
    }
    table.Entries = std::move(entries);
    table.Count = count;
}

MailState OverallState(HostTable& table)
{
    int32_t overall = Unknown;
    const int32_t count = table.Count.load();
    for (int32_t i = 0; i < count; ++i)
        overall = std::max(overall, table[i].State.load());
    return static_cast<MailState>(overall);
}

const char* KeepServerText(HostEntry& host, std::string_view words)
{
    words = words.substr(0, kServerTextKept);
    if (words.empty())
        return nullptr;
    ServerTexts& texts = host.OwnTexts;
    for (size_t i = 0; i < texts.Used; ++i) {
        if (words == texts.Slots[i])
            return texts.Slots[i];
    }
    if (texts.Used == kServerTextSlots)
        return nullptr;
    char* slot = texts.Slots[texts.Used++];
    slot[words.copy(slot, kServerTextKept)] = '\0';
    return slot;
}
