// The names by which hosts are shown; see host_labels.h.
#include "host_labels.h"

#include <algorithm>
#include <string_view>

namespace {

char FoldAsciiCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The monitor looks a name up with the ANSI getaddrinfo, which sends its
// bytes as they are; DNS folds only A to Z.
bool SameServerName(std::string_view one, std::string_view other)
{
    return std::ranges::equal(one, other, {}, FoldAsciiCase, FoldAsciiCase);
}

}  // namespace

std::string HostLabel(std::span<const HostConfig> hosts, size_t index)
{
    const HostConfig& host = hosts[index];
    if (host.UserID.empty())
        return host.Name;
    for (size_t other = 0; other < hosts.size(); ++other) {
        if (other != index && SameServerName(hosts[other].Name, host.Name))
            return host.UserID + "@" + host.Name;
    }
    return host.Name;
}
