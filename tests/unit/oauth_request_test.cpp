// What Quillo sends to the provider: the sign-in address and the form
// bodies, every value escaped the same way.
#include "provider_requests.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(OAuthRequests, AddressesAndBodiesCarryEachValueEscaped)
{
    OAuthProvider provider;
    provider.AuthorizeUrl = "https://login.example/common/oauth2/v2.0/authorize";
    provider.ClientId = "9e5f94bc-e8a4-4e73-b8be-63364c29d753";
    provider.Scope = "https://outlook.office.com/IMAP.AccessAsUser.All offline_access";
    const std::string kClient = "client_id=9e5f94bc-e8a4-4e73-b8be-63364c29d753";
    const std::string kScope = "scope=https%3A%2F%2Foutlook.office.com%2FIMAP.AccessAsUser.All%20offline_access";
    const std::string kRedirect = "redirect_uri=http%3A%2F%2F127.0.0.1%3A50123%2F";
    OAuthProvider query = provider;
    query.AuthorizeUrl = "https://login.example/authorize?p=B2C_1";
    OAuthProvider openQuery = provider;
    openQuery.AuthorizeUrl = "https://login.example/authorize?";
    OAuthProvider noScope = provider;
    noScope.Scope.clear();
    const std::string kAuthorizeQuery = "response_type=code&" + kClient + "&" + kRedirect + "&" + kScope +
                                        "&state=s-1_x&code_challenge=E9Mel-cM&code_challenge_method=S256";

    const struct {
        std::string built;
        std::string expected;
    } kCases[] = {
        {PercentEncode("AZaz09-._~"), "AZaz09-._~"},
        {PercentEncode("a b+c/d?e=f&g%h#\x7f"), "a%20b%2Bc%2Fd%3Fe%3Df%26g%25h%23%7F"},
        {PercentEncode("\xc3\xa9\0"s), "%C3%A9%00"},
        {LoopbackRedirectUri(50123), "http://127.0.0.1:50123/"},
        {AuthorizationUrl(provider, 50123, "s-1_x", "E9Mel-cM"), provider.AuthorizeUrl + "?" + kAuthorizeQuery},
        {AuthorizationUrl(query, 50123, "s-1_x", "E9Mel-cM"), query.AuthorizeUrl + "&" + kAuthorizeQuery},
        {AuthorizationUrl(openQuery, 50123, "s-1_x", "E9Mel-cM"), openQuery.AuthorizeUrl + kAuthorizeQuery},
        {CodeExchangeBody(provider, "M.R3/a+b", 50123, "dBjftJeZ4CVP"),
         "grant_type=authorization_code&code=M.R3%2Fa%2Bb&" + kRedirect + "&" + kClient +
             "&code_verifier=dBjftJeZ4CVP"},
        {RefreshBody(provider, "M.C5 r=t"),
         "grant_type=refresh_token&refresh_token=M.C5%20r%3Dt&" + kClient + "&" + kScope},
        {RefreshBody(noScope, "rt"), "grant_type=refresh_token&refresh_token=rt&" + kClient},
        {DeviceAuthorizationBody(provider), kClient + "&" + kScope},
        {DevicePollBody(provider, "Gm&Rh"),
         "grant_type=urn%3Aietf%3Aparams%3Aoauth%3Agrant-type%3Adevice_code&device_code=Gm%26Rh&" + kClient},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.built, c.expected);
}

}  // namespace
