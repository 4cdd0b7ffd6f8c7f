// The host editor's rules for turning typed text into record values.
#include "host_editor_rules.h"

#include "provider_presets.h"

#include <iterator>
#include <utility>

HostConfig NewHost()
{
    HostConfig host;
    host.Name = kNewHostName;
    host.Action = Nothing;
    host.Delay = kNewHostDelay;
    // What mail providers require; plain POP3 must be chosen on purpose.
    host.Security = SslTls;
    host.Port = 0;
    host.Protocol = Pop3;
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

size_t FittingLength(std::string_view text, bool (*isLeadByte)(char))
{
    size_t kept = 0;
    while (kept < text.size()) {
        // A lead byte at the very end has no second byte to keep with it.
        const size_t step = isLeadByte(text[kept]) && kept + 1 < text.size() ? 2 : 1;
        if (kept + step > kLongestFieldText)
            break;
        kept += step;
    }
    return kept;
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

namespace {

bool StoreChoice(int32_t& value, int position)
{
    if (position < 0 || position == value)
        return false;
    value = position;
    return true;
}

// A list shows the stored value as its entry of that index, or no entry for
// a number it has none for.
int ChoicePosition(int32_t value, size_t entries)
{
    return value >= 0 && static_cast<size_t>(value) < entries ? value : -1;
}

}  // namespace

bool StoreAction(int32_t& action, int position)
{
    return StoreChoice(action, position);
}

int ActionPosition(int32_t action)
{
    return ChoicePosition(action, std::size(ActionNames));
}

bool StoreSecurity(int32_t& security, int position)
{
    return StoreChoice(security, position);
}

int SecurityPosition(int32_t security)
{
    return ChoicePosition(security, std::size(SecurityNames));
}

bool StoreProtocol(int32_t& protocol, int position)
{
    return StoreChoice(protocol, position);
}

int ProtocolPosition(int32_t protocol)
{
    return ChoicePosition(protocol, std::size(ProtocolNames));
}

std::string PortText(int32_t port)
{
    return port == 0 ? std::string() : std::to_string(port);
}

std::optional<int32_t> ParsePort(std::string_view text)
{
    if (text.empty())
        return 0;
    int32_t port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
        // Stopping here keeps any length of digits from overflowing.
        if (port > 65535)
            return std::nullopt;
    }
    if (port == 0)
        return std::nullopt;
    return port;
}

std::optional<bool> StorePort(int32_t& port, std::string_view text)
{
    if (text == PortText(port))
        return false;
    const std::optional<int32_t> typed = ParsePort(text);
    if (!typed)
        return std::nullopt;
    const bool changed = *typed != port;
    port = *typed;
    return changed;
}

std::string PortHint(int securityPosition, int protocolPosition)
{
    if (SecurityPosition(securityPosition) < 0 || ProtocolPosition(protocolPosition) < 0)
        return std::string();
    // Appended, as GCC 12 at -O2 wrongly warns (-Wrestrict) about a literal
    // + std::to_string(...).
    std::string hint = "(default ";
    hint += std::to_string(DefaultPort(securityPosition, protocolPosition));
    hint += ')';
    return hint;
}

SignInValues SignInOf(const HostConfig& host)
{
    return SignInValues{host.Auth, host.OAuth, host.RefreshToken, host.TokenLost, host.TokenChanged};
}

bool StoreSignIn(HostConfig& host, const SignInValues& values)
{
    const bool changed = host.Auth != values.Auth || host.OAuth != values.OAuth ||
                         host.RefreshToken != values.RefreshToken || host.TokenLost != values.TokenLost;
    host.Auth = values.Auth;
    host.OAuth = values.OAuth;
    host.RefreshToken = values.RefreshToken;
    host.TokenLost = values.TokenLost;
    host.TokenChanged = values.TokenChanged;
    return changed;
}

int SignInPosition(const SignInValues& values)
{
    if (values.Auth == PasswordSignIn)
        return PasswordEntry;
    if (values.Auth != OAuthSignIn)
        return -1;
    const OAuthProvider preset = MicrosoftAccountProvider();
    const bool microsoft = values.OAuth.AuthorizeUrl == preset.AuthorizeUrl &&
                           values.OAuth.TokenUrl == preset.TokenUrl && values.OAuth.DeviceUrl == preset.DeviceUrl;
    return microsoft ? MicrosoftEntry : OtherProviderEntry;
}

namespace {

// Save then deletes the stored token too.
void DropToken(SignInValues& values)
{
    values.RefreshToken.clear();
    values.TokenLost = false;
    values.TokenChanged = true;
}

}  // namespace

void ChooseSignIn(SignInValues& values, int position)
{
    if (position < PasswordEntry || position > OtherProviderEntry || position == SignInPosition(values))
        return;
    values.Auth = position == PasswordEntry ? PasswordSignIn : OAuthSignIn;
    values.OAuth = position == MicrosoftEntry ? MicrosoftAccountProvider() : OAuthProvider{};
    DropToken(values);
}

bool ChangeProvider(SignInValues& values, const OAuthProvider& provider)
{
    if (values.OAuth == provider)
        return false;
    if (values.OAuth.TokenUrl != provider.TokenUrl || values.OAuth.ClientId != provider.ClientId)
        DropToken(values);
    values.OAuth = provider;
    return true;
}

void AcceptToken(SignInValues& values, std::string token)
{
    values.RefreshToken = std::move(token);
    values.TokenLost = false;
    values.TokenChanged = true;
}

std::string SignInStatus(const SignInValues& values, std::string_view user)
{
    if (values.Auth != OAuthSignIn)
        return std::string();
    if (values.TokenLost)
        return kSignInLostText;
    if (values.RefreshToken.empty())
        return kNotSignedInText;
    if (user.empty())
        return "Signed in.";
    std::string status = "Signed in as ";
    status += user;
    status += '.';
    return status;
}

namespace {

bool IsHttpsAddress(std::string_view address)
{
    constexpr std::string_view kScheme = "https://";
    if (address.size() <= kScheme.size())
        return false;
    // The scheme's letter case carries no meaning.
    for (size_t at = 0; at < kScheme.size(); ++at) {
        const char c = address[at];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[at])
            return false;
    }
    return true;
}

}  // namespace

std::optional<ProviderFault> CheckProvider(const OAuthProvider& provider)
{
    if (!IsHttpsAddress(provider.AuthorizeUrl))
        return ProviderFault{AuthorizeField, kAddressRefusedText};
    if (!IsHttpsAddress(provider.TokenUrl))
        return ProviderFault{TokenField, kAddressRefusedText};
    if (provider.ClientId.empty())
        return ProviderFault{ClientIdField, kClientIdMissingText};
    if (!provider.DeviceUrl.empty() && !IsHttpsAddress(provider.DeviceUrl))
        return ProviderFault{DeviceField, kAddressRefusedText};
    return std::nullopt;
}
