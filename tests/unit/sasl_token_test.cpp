// The SASL responses of a sign-in with an access token, against published
// vectors: base64 (RFC 4648), an XOAUTH2 response as Google documents it and
// the OAUTHBEARER example of RFC 7628.
#include "sasl_token.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(SaslToken, ResponsesAreTheMechanismsOwnBytesInBase64)
{
    for (const auto& [bytes, encoded] :
         {std::pair{"", ""}, std::pair{"f", "Zg=="}, std::pair{"fo", "Zm8="}, std::pair{"foo", "Zm9v"},
          std::pair{"foob", "Zm9vYg=="}, std::pair{"fooba", "Zm9vYmE="}, std::pair{"foobar", "Zm9vYmFy"}})
        EXPECT_EQ(Base64(bytes), encoded);

    EXPECT_EQ(OAuthInitialResponse(SaslMechanism::XOAuth2,
                                   {"someuser@example.com", "", 0, "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg"}),
              "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52YjNSbGNrQmhkSFJoZG1semRHRX"
              "VZMjl0Q2cBAQ==");
    EXPECT_EQ(OAuthInitialResponse(SaslMechanism::OAuthBearer, {"user@example.com", "server.example.com", 143,
                                                                "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg=="}),
              "bixhPXVzZXJAZXhhbXBsZS5jb20sAWhvc3Q9c2VydmVyLmV4YW1wbGUuY29tAXBvcnQ9MTQzAWF1dGg9QmVhcmVyIHZGOWRmdDRxbV"
              "RjMk52YjNSbGNrQmhiSFJoZG1semRHRXVZMjl0Q2c9PQEB");

    // OAUTHBEARER's user name may hold neither of its header's separators
    // as itself.
    EXPECT_EQ(OAuthInitialResponse(SaslMechanism::OAuthBearer, {"a,=b", "h", 1, "t"}),
              Base64("n,a=a=2C=3Db,\001host=h\001port=1\001auth=Bearer t\001\001"));

    // A control byte would end a field early and start another.
    for (const OAuthSignInValues& unfit :
         {OAuthSignInValues{"anna\001auth=Bearer x", "h", 1, "t"}, OAuthSignInValues{"anna", "h", 1, "t\r\nq9 LOGOUT"},
          OAuthSignInValues{"anna", "h", 1, ""}}) {
        EXPECT_EQ(OAuthInitialResponse(SaslMechanism::XOAuth2, unfit), std::nullopt);
        EXPECT_EQ(OAuthInitialResponse(SaslMechanism::OAuthBearer, unfit), std::nullopt);
    }
}

}  // namespace
