// SHA-256 against the published vectors, and the PKCE verifier, challenge
// and state built from given random bytes.
#include "pkce.h"
#include "sha256.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

std::string Hex(const Sha256Digest& digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

TEST(OAuthPkce, Sha256GivesTheStandardDigests)
{
    const struct {
        std::string message;
        const char* digest;
    } kCases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the last block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(Hex(Sha256(c.message)), c.digest) << c.message.size() << " bytes";
}

TEST(OAuthPkce, VerifierChallengeAndStateAreBase64UrlWithoutPadding)
{
    const uint8_t one[] = {0xff};
    const uint8_t two[] = {0xfb, 0xff};
    const uint8_t three[] = {'f', 'o', 'o'};
    EXPECT_EQ(Base64Url({}), "");
    EXPECT_EQ(Base64Url(one), "_w");
    EXPECT_EQ(Base64Url(two), "-_8");
    EXPECT_EQ(Base64Url(three), "Zm9v");

    // The example of PKCE's own definition.
    const std::array<uint8_t, 32> random = {116, 24,  223, 180, 151, 153, 224, 37,  79,  250, 96,
                                            125, 216, 173, 187, 186, 22,  212, 37,  77,  105, 214,
                                            191, 240, 91,  88,  5,   88,  83,  132, 141, 121};
    const std::string verifier = PkceVerifier(random);
    EXPECT_EQ(verifier, "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
    EXPECT_EQ(PkceChallenge(verifier), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");

    std::array<uint8_t, 16> stateBytes;
    stateBytes.fill(0xff);
    EXPECT_EQ(SignInState(stateBytes), "_____________________w");
}

}  // namespace
