// What a mail server is sent to sign in with an OAuth 2.0 access token: the
// SASL mechanisms XOAUTH2 and OAUTHBEARER (RFC 7628), their initial
// responses in base64 (RFC 4648) and the answer to the challenge by which a
// server refuses a token. Portable, and the same for POP3 and IMAP.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class SaslMechanism {
    XOAuth2,      // Microsoft's and Google's
    OAuthBearer,  // the standard one, used where a server offers it and not XOAUTH2
};

// The mechanism's name as AUTH and AUTHENTICATE take it and as servers list it.
const char* SaslMechanismName(SaslMechanism mechanism);

// The mechanism to use with a server that offers these, or nothing when it
// offers neither.
std::optional<SaslMechanism> ChooseSaslMechanism(bool offersXOAuth2, bool offersOAuthBearer);

// The bytes in base64 with padding, on one line.
std::string Base64(std::string_view bytes);

// A user name as OAUTHBEARER's GS2 header carries it: "," as "=2C" and "="
// as "=3D", so that neither ends the name early.
std::string EscapedSaslName(std::string_view name);

// Whom the token signs in, and where.
struct OAuthSignInValues {
    std::string_view User;
    std::string_view Host;  // OAUTHBEARER only
    uint16_t Port = 0;      // OAUTHBEARER only
    std::string_view Token;
};

// The mechanism's initial response in base64, ready to be sent. Nothing when
// a value holds a control byte (which would end a field of the response, or
// let the user name pass for another field) or the token is empty.
std::optional<std::string> OAuthInitialResponse(SaslMechanism mechanism, const OAuthSignInValues& values);

// What answers the challenge ("+ " and the server's reasons in base64 JSON)
// by which a server refuses the token: the server then ends the command with
// its refusal, which it holds back until the challenge is answered.
const char* RefusalChallengeAnswer(SaslMechanism mechanism);
