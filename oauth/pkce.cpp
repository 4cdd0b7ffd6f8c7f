// PKCE and the sign-in state; see pkce.h.
#include "pkce.h"

#include "sha256.h"

namespace {

constexpr char kBase64UrlDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

}  // namespace

std::string Base64Url(std::span<const uint8_t> bytes)
{
    std::string text;
    text.reserve((bytes.size() * 4 + 2) / 3);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group = static_cast<uint32_t>(bytes[i]) << 16 | static_cast<uint32_t>(bytes[i + 1]) << 8 |
                               static_cast<uint32_t>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            text += kBase64UrlDigits[(group >> shift) & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        if (rest == 2)
            group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        // One byte left gives two digits, two give three; no '=' follows.
        for (size_t digit = 0; digit <= rest; ++digit)
            text += kBase64UrlDigits[(group >> (18 - 6 * digit)) & 63];
    }
    return text;
}

std::string PkceVerifier(std::span<const uint8_t, 32> randomBytes)
{
    return Base64Url(randomBytes);
}

std::string PkceChallenge(std::string_view verifier)
{
    const Sha256Digest digest = Sha256(verifier);
    return Base64Url(digest);
}

std::string SignInState(std::span<const uint8_t, 16> randomBytes)
{
    return Base64Url(randomBytes);
}
