// The SASL responses of a sign-in with an access token; see sasl_token.h.
#include "sasl_token.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool HasControlByte(std::string_view value)
{
    for (const char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    }
    return false;
}

}  // namespace

const char* SaslMechanismName(SaslMechanism mechanism)
{
    return mechanism == SaslMechanism::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
}

std::optional<SaslMechanism> ChooseSaslMechanism(bool offersXOAuth2, bool offersOAuthBearer)
{
    if (offersXOAuth2)
        return SaslMechanism::XOAuth2;
    if (offersOAuthBearer)
        return SaslMechanism::OAuthBearer;
    return std::nullopt;
}

std::string Base64(std::string_view bytes)
{
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t taken = std::min<size_t>(3, bytes.size() - at);
        uint32_t group = 0;
        for (size_t i = 0; i < 3; ++i)
            group = group << 8 | (i < taken ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        for (size_t i = 0; i < 4; ++i)
            encoded += i <= taken ? kBase64Digits[(group >> (18 - 6 * i)) & 0x3f] : '=';
    }
    return encoded;
}

std::string EscapedSaslName(std::string_view name)
{
    std::string escaped;
    for (const char c : name) {
        if (c == ',')
            escaped += "=2C";
        else if (c == '=')
            escaped += "=3D";
        else
            escaped += c;
    }
    return escaped;
}

std::optional<std::string> OAuthInitialResponse(SaslMechanism mechanism, const OAuthSignInValues& values)
{
    if (values.Token.empty() || HasControlByte(values.User) || HasControlByte(values.Host) ||
        HasControlByte(values.Token))
        return std::nullopt;
    const std::string bearer = "auth=Bearer " + std::string(values.Token) + "\x01\x01";
    if (mechanism == SaslMechanism::XOAuth2)
        return Base64("user=" + std::string(values.User) + '\x01' + bearer);
    return Base64("n,a=" + EscapedSaslName(values.User) + ",\x01host=" + std::string(values.Host) +
                  "\x01port=" + std::to_string(values.Port) + '\x01' + bearer);
}

const char* RefusalChallengeAnswer(SaslMechanism mechanism)
{
    // OAUTHBEARER's is a single %x01 (RFC 7628); XOAUTH2 has an empty line.
    return mechanism == SaslMechanism::XOAuth2 ? "" : "AQ==";
}
