// What the token endpoint's and device endpoint's replies mean, status and
// body together.
#include "provider_replies.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OAuthReplies, ATokenReplyGrantsATokenOrSaysWhyNot)
{
    using enum TokenOutcome;
    const std::string kError(kNotBearerError);
    const struct {
        int status;
        const char* body;
        TokenOutcome outcome;
        const char* accessToken;
        int64_t expiresIn;
        const char* refreshToken;
        std::string error;
    } kCases[] = {
        {200,
         "{\"token_type\":\"Bearer\",\"scope\":\"x\",\"expires_in\":3599,\"access_token\":\"eyJ0.a-b_c\","
         "\"refresh_token\":\"M.C5 rt\"}",
         Granted, "eyJ0.a-b_c", 3599, "M.C5 rt", ""},
        {200, "{\"access_token\":\"at\",\"token_type\":\"bEARER\"}", Granted, "at", kDefaultTokenLifetime, "", ""},
        {200, "{\"access_token\":\"at\",\"token_type\":\"Bearer\",\"expires_in\":\"1800\"}", Granted, "at", 1800, "",
         ""},
        {200, "{\"access_token\":\"at\",\"token_type\":\"Bearer\",\"expires_in\":-5}", Granted, "at",
         kDefaultTokenLifetime, "", ""},
        {200, "{\"access_token\":\"at\",\"token_type\":\"Bearer\",\"expires_in\":99999999999999999999999}", Granted,
         "at", kLongestLifetime, "", ""},
        // Only Bearer tokens go to the mail server.
        {200, "{\"access_token\":\"at\",\"token_type\":\"mac\"}", Refused, "", 0, "", kError},
        {200, "{\"access_token\":\"at\"}", Refused, "", 0, "", kError},
        // Errors, whatever else the reply carries.
        {400, "{\"error\":\"invalid_grant\",\"error_description\":\"AADSTS70000\"}", Expired, "", 0, "",
         "invalid_grant"},
        {400, "{\"error\":\"authorization_pending\"}", Pending, "", 0, "", "authorization_pending"},
        {200, "{\"error\":\"slow_down\"}", SlowDown, "", 0, "", "slow_down"},
        {400, "{\"error\":\"access_denied\"}", Denied, "", 0, "", "access_denied"},
        {400, "{\"error\":\"expired_token\"}", CodeExpired, "", 0, "", "expired_token"},
        {401, "{\"error\":\"invalid_client\"}", Refused, "", 0, "", "invalid_client"},
        {400, "{\"error\":\"invalid_grant\",\"access_token\":\"at\",\"token_type\":\"Bearer\"}", Expired, "", 0, "",
         "invalid_grant"},
        {200, "{\"access_token\":\"at\",\"token_type\":\"Bearer\",\"refresh_token\":\"rt\",\"error\":\"x\"}", Refused,
         "", 0, "", "x"},
        // No usable answer.
        {500, "{\"error\":\"server_error\"}", Unreachable, "", 0, "", ""},
        {503, "<html>busy</html>", Unreachable, "", 0, "", ""},
        {302, "", Unreachable, "", 0, "", ""},
        {400, "Bad Request", Unreachable, "", 0, "", ""},
        {400, "{}", Unreachable, "", 0, "", ""},
        {400, "{\"access_token\":\"at\",\"token_type\":\"Bearer\"}", Unreachable, "", 0, "", ""},
        {400, "{\"error\":5}", Unreachable, "", 0, "", ""},
        {400, "{\"error\":\"\"}", Unreachable, "", 0, "", ""},
        {400, "{\"error\":\"a\\\"b\"}", Unreachable, "", 0, "", ""},
        {200, "{\"access_token\":\"\",\"token_type\":\"Bearer\"}", Unreachable, "", 0, "", ""},
        {200, "{\"access_token\":7,\"token_type\":\"Bearer\"}", Unreachable, "", 0, "", ""},
        {200, "{\"access_token\":\"a\\r\\nb\",\"token_type\":\"Bearer\"}", Unreachable, "", 0, "", ""},
        {200, "{\"access_token\":\"at\",\"token_type\":\"Bearer\",\"refresh_token\":5}", Unreachable, "", 0, "", ""},
        {200, "{\"access_token\":\"at\",\"token_type\":\"Bearer\",\"refresh_token\":\"\"}", Unreachable, "", 0, "", ""},
        {200, "{\"access_token\":\"at\",\"token_type\":\"Bearer\"", Unreachable, "", 0, "", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        const TokenReply reply = ReadTokenReply(c.status, c.body);
        EXPECT_EQ(reply.Outcome, c.outcome);
        EXPECT_EQ(reply.AccessToken, c.accessToken);
        EXPECT_EQ(reply.ExpiresIn, c.expiresIn);
        EXPECT_EQ(reply.RefreshToken, c.refreshToken);
        EXPECT_EQ(reply.Error, c.error);
    }
}

TEST(OAuthReplies, ADeviceReplyStartsPollingOnlyWithAnHttpsAddressToOpen)
{
    using enum DeviceOutcome;
    const std::string kCodes = "\"device_code\":\"GmRh\",\"user_code\":\"WDJB-MJHT\",\"expires_in\":900,";
    const struct {
        int status;
        std::string body;
        DeviceOutcome outcome;
        const char* uri;
        const char* complete;
        int64_t interval;
        const char* error;
    } kCases[] = {
        {200,
         kCodes + "\"verification_uri\":\"https://microsoft.com/devicelogin\",\"interval\":7,\"message\":\"To sign "
                  "in, ...\",\"verification_uri_complete\":\"https://microsoft.com/devicelogin?code=WDJB-MJHT\"",
         Started, "https://microsoft.com/devicelogin", "https://microsoft.com/devicelogin?code=WDJB-MJHT", 7, ""},
        {200, kCodes + "\"verification_url\":\"HTTPS://www.google.com/device\"", Started,
         "HTTPS://www.google.com/device", "", kDefaultPollInterval, ""},
        {200, kCodes + "\"verification_uri\":\"https://a.example/d\",\"interval\":\"3\"", Started,
         "https://a.example/d", "", 3, ""},
        // A pause of nothing is no pause; an address to open must be https.
        {200,
         kCodes + "\"verification_uri\":\"https://a.example/d\",\"interval\":0,\"verification_uri_complete\":\"file:"
                  "///C:/x.exe\"",
         Started, "https://a.example/d", "", kDefaultPollInterval, ""},
        {200, kCodes + "\"verification_uri\":\"http://a.example/d\"", Unreachable, "", "", kDefaultPollInterval, ""},
        {200, kCodes + "\"verification_uri\":\"C:\\\\Windows\\\\notepad.exe\"", Unreachable, "", "",
         kDefaultPollInterval, ""},
        {200, kCodes + "\"verification_uri\":\"https://\"", Unreachable, "", "", kDefaultPollInterval, ""},
        {200, kCodes + "\"verification_uri\":\"https:///x\"", Unreachable, "", "", kDefaultPollInterval, ""},
        {200, kCodes + "\"verification_uri\":\"https://a.example/\\\" x\"", Unreachable, "", "", kDefaultPollInterval,
         ""},
        {200, "{\"device_code\":\"GmRh\",\"user_code\":\"W\",\"verification_uri\":\"https://a.example/d\"}",
         Unreachable, "", "", kDefaultPollInterval, ""},
        {200, "{\"device_code\":\"GmRh\",\"expires_in\":9,\"verification_uri\":\"https://a.example/d\"}", Unreachable,
         "", "", kDefaultPollInterval, ""},
        {400, "{\"error\":\"invalid_client\"}", Refused, "", "", kDefaultPollInterval, "invalid_client"},
        {400, kCodes + "\"verification_uri\":\"https://a.example/d\"", Unreachable, "", "", kDefaultPollInterval, ""},
        {502, "{\"error\":\"x\"}", Unreachable, "", "", kDefaultPollInterval, ""},
    };
    for (const auto& c : kCases) {
        std::string body = c.body;
        if (!body.starts_with("{"))
            body = "{" + body + "}";
        SCOPED_TRACE(body);
        const DeviceAuthorization reply = ReadDeviceAuthorization(c.status, body);
        EXPECT_EQ(reply.Outcome, c.outcome);
        EXPECT_EQ(reply.VerificationUri, c.uri);
        EXPECT_EQ(reply.VerificationUriComplete, c.complete);
        EXPECT_EQ(reply.Interval, c.interval);
        EXPECT_EQ(reply.Error, c.error);
        EXPECT_EQ(reply.DeviceCode, c.outcome == Started ? "GmRh" : "");
        EXPECT_EQ(reply.UserCode, c.outcome == Started ? "WDJB-MJHT" : "");
        EXPECT_EQ(reply.ExpiresIn, c.outcome == Started ? 900 : 0);
    }
}

}  // namespace
