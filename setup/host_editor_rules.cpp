// The host editor's rules for turning typed text into record values.
#include "host_editor_rules.h"

HostConfig NewHost()
{
    HostConfig host;
    host.Name = kNewHostName;
    host.Action = Nothing;
    host.Delay = kNewHostDelay;
    return host;
}

std::optional<int32_t> ParseSeconds(std::string_view text)
{
    size_t at = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (at < text.size() && isSpace(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    // Counting stops as soon as the value is out of range, so no length of
    // digits can overflow.
    int64_t value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && value <= kLongestDelay)
        value = value * 10 + (text[at++] - '0');
    if (negative || value < 1 || value > kLongestDelay)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

bool StoreText(std::string& field, std::string_view text)
{
    const bool changed = field != text;
    field.assign(text);
    return changed;
}

bool StoreSeconds(int32_t& delay, std::string_view text)
{
    const std::optional<int32_t> seconds = ParseSeconds(text);
    if (!seconds)
        return false;
    const bool changed = *seconds != delay;
    delay = *seconds;
    return changed;
}

bool StoreAction(int32_t& action, int position)
{
    if (position < 0 || position == action)
        return false;
    action = position;
    return true;
}

int ActionPosition(int32_t action)
{
    return action >= Nothing && action <= LaunchMailReader ? action : -1;
}
