// Password scrambling: a position- and content-dependent shift of each byte,
// modulo 255, driven by a fixed key table shared by both programs.
#include "password_scrambling.h"

const int32_t PasswordKeyTable[16] = {4, -1, 7, 2, -2, 5, 3, -3, 1, 6, -1, 8, 2, -2, 4, 15};

namespace {

// Residue modulo 255 in 1..255: a residue of 0 is written as 255, so no
// output byte is ever zero.
uint8_t ReduceModulo255(int32_t v)
{
    int32_t r = v % 255;
    if (r < 1)
        r += 255;
    return static_cast<uint8_t>(r);
}

// The key walk depends on the clear byte only, so both directions visit the
// same keys in the same order.
int32_t NextKeyIndex(int32_t j, uint8_t clearByte)
{
    j += clearByte % 3 + 1;
    if (j >= PasswordKeyTable[15])
        j -= PasswordKeyTable[15];
    return j;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::optional<std::string> ScramblePassword(const std::string& clear)
{
    std::string scrambled(clear.size(), '\0');
    int32_t j = 0;
    for (size_t i = 0; i < clear.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(clear[i]);
        const int32_t position = static_cast<int32_t>(i) + 1;
        scrambled[i] = static_cast<char>(ReduceModulo255(c + PasswordKeyTable[j] * position));
        j = NextKeyIndex(j, c);
    }
    if (!EqualIgnoringCase(UnscramblePassword(scrambled), clear))
        return std::nullopt;
    return scrambled;
}

std::string UnscramblePassword(const std::string& scrambled)
{
    std::string clear(scrambled.size(), '\0');
    int32_t j = 0;
    for (size_t i = 0; i < scrambled.size(); ++i) {
        const uint8_t s = static_cast<uint8_t>(scrambled[i]);
        const int32_t position = static_cast<int32_t>(i) + 1;
        const uint8_t c = ReduceModulo255(s - PasswordKeyTable[j] * position);
        clear[i] = static_cast<char>(c);
        j = NextKeyIndex(j, c);
    }
    return clear;
}
