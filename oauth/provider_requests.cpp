// What Quillo sends to the provider; see provider_requests.h.
#include "provider_requests.h"

#include <initializer_list>
#include <utility>

namespace {

using Field = std::pair<std::string_view, std::string_view>;

// name=value pairs joined by '&'. An empty scope is left out: some providers
// refuse an empty one where they would take none.
std::string FormFields(std::initializer_list<Field> fields)
{
    std::string form;
    for (const auto& [name, value] : fields) {
        if (name == "scope" && value.empty())
            continue;
        if (!form.empty())
            form += '&';
        form += name;
        form += '=';
        form += PercentEncode(value);
    }
    return form;
}

}  // namespace

std::string PercentEncode(std::string_view text)
{
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            encoded += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded += '%';
            encoded += kHexDigits[byte >> 4];
            encoded += kHexDigits[byte & 15];
        }
    }
    return encoded;
}

std::string LoopbackRedirectUri(uint16_t port)
{
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

std::string AuthorizationUrl(const OAuthProvider& provider, uint16_t port, std::string_view state,
                             std::string_view challenge)
{
    std::string url = provider.AuthorizeUrl;
    // An endpoint may carry a query of its own (a tenant, a policy).
    if (url.find('?') == std::string::npos)
        url += '?';
    else if (!url.ends_with('?') && !url.ends_with('&'))
        url += '&';
    const std::string redirect = LoopbackRedirectUri(port);
    url += FormFields({{"response_type", "code"},
                       {"client_id", provider.ClientId},
                       {"redirect_uri", redirect},
                       {"scope", provider.Scope},
                       {"state", state},
                       {"code_challenge", challenge},
                       {"code_challenge_method", "S256"}});
    return url;
}

std::string CodeExchangeBody(const OAuthProvider& provider, std::string_view code, uint16_t port,
                             std::string_view verifier)
{
    const std::string redirect = LoopbackRedirectUri(port);
    return FormFields({{"grant_type", "authorization_code"},
                       {"code", code},
                       {"redirect_uri", redirect},
                       {"client_id", provider.ClientId},
                       {"code_verifier", verifier}});
}

std::string RefreshBody(const OAuthProvider& provider, std::string_view refreshToken)
{
    return FormFields({{"grant_type", "refresh_token"},
                       {"refresh_token", refreshToken},
                       {"client_id", provider.ClientId},
                       {"scope", provider.Scope}});
}

std::string DeviceAuthorizationBody(const OAuthProvider& provider)
{
    return FormFields({{"client_id", provider.ClientId}, {"scope", provider.Scope}});
}

std::string DevicePollBody(const OAuthProvider& provider, std::string_view deviceCode)
{
    return FormFields({{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
                       {"device_code", deviceCode},
                       {"client_id", provider.ClientId}});
}
