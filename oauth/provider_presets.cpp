// The provider presets; see provider_presets.h.
#include "provider_presets.h"

#ifndef QUILLO_MICROSOFT_CLIENT_ID
#define QUILLO_MICROSOFT_CLIENT_ID ""
#endif

OAuthProvider MicrosoftAccountProvider()
{
    // offline_access is what makes the provider hand out a refresh token.
    return OAuthProvider{
        .AuthorizeUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
        .TokenUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/token",
        .ClientId = QUILLO_MICROSOFT_CLIENT_ID,
        .Scope =
            "https://outlook.office.com/IMAP.AccessAsUser.All https://outlook.office.com/POP.AccessAsUser.All "
            "offline_access",
        .DeviceUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/devicecode",
    };
}
