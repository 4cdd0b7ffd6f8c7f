// The scrambled password form: answers worked out by hand from the key table
// (4, -1, 7, 2, -2, 5, 3, -3, 1, 6, -1, 8, 2, -2, 4), and round trips.
#include "password_scrambling.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::string Scrambled(const std::string& clear)
{
    const std::optional<std::string> scrambled = ScramblePassword(clear);
    EXPECT_TRUE(scrambled.has_value()) << "no result for a clear text of " << clear.size() << " bytes";
    return scrambled.value_or("");
}

TEST(PasswordScrambling, KnownAnswersWorkedOutByHand)
{
    // 'a' 97 + key 4 x position 1 = 101 'e'.
    EXPECT_EQ(Scrambled("a"), "e");
    // 'a' moves the key index by 97 mod 3 + 1 = 2, so 'b' meets key 7: 98 + 7 x 2 = 112 'p'.
    EXPECT_EQ(Scrambled("ab"), "ep");
    // 'A' 65 moves it by 3 instead: 'b' meets key 2: 98 + 2 x 2 = 102 'f'.
    EXPECT_EQ(Scrambled("Ab"), "Ef");
    // A negative sum wraps: 'c' moves by 1 to key -1, 1 - 1 x 2 = -1, residue 254.
    EXPECT_EQ(Scrambled("c\x01"), "g\xFE");
    // A residue of 0 is written as 255: 251 + 4 = 255.
    EXPECT_EQ(Scrambled("\xFB"), "\xFF");
    // 255 + 4 = 259, residue 4.
    EXPECT_EQ(Scrambled("\xFF"), "\x04");
}

TEST(PasswordScrambling, KeyWalkWrapsAfterFifteenKeys)
{
    // 'c' moves the index by one: positions 1 to 15 use keys 0 to 14, then
    // the walk starts again at key 0.
    const std::string scrambled = Scrambled(std::string(17, 'c'));
    ASSERT_EQ(scrambled.size(), 17u);
    EXPECT_EQ(static_cast<uint8_t>(scrambled[7]), 99 - 3 * 8);    // key -3
    EXPECT_EQ(static_cast<uint8_t>(scrambled[14]), 99 + 4 * 15);  // key 4, the last one
    EXPECT_EQ(static_cast<uint8_t>(scrambled[15]), 99 + 4 * 16);  // key 0 again
    EXPECT_EQ(static_cast<uint8_t>(scrambled[16]), 99 - 1 * 17);  // key -1
}

TEST(PasswordScrambling, UnscramblesHandWorkedForms)
{
    EXPECT_EQ(UnscramblePassword("ep"), "ab");
    EXPECT_EQ(UnscramblePassword("g\xFE"), "c\x01");
    EXPECT_EQ(UnscramblePassword("\xFF"), "\xFB");
}

TEST(PasswordScrambling, EveryByteAndEveryPairComesBack)
{
    for (int first = 1; first <= 255; ++first) {
        const std::string one(1, static_cast<char>(first));
        ASSERT_EQ(UnscramblePassword(Scrambled(one)), one) << "byte " << first;
        for (int second = 1; second <= 255; ++second) {
            const std::string two{static_cast<char>(first), static_cast<char>(second)};
            const std::string scrambled = Scrambled(two);
            ASSERT_EQ(scrambled.size(), 2u);
            ASSERT_NE(scrambled[0], '\0');
            ASSERT_NE(scrambled[1], '\0');
            ASSERT_EQ(UnscramblePassword(scrambled), two) << "bytes " << first << ", " << second;
        }
    }
}

TEST(PasswordScrambling, RandomPasswordsUpToNinetyEightBytesComeBack)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<int> length(1, 98);
    bool sawHighByte = false;
    bool saw255 = false;
    for (int round = 0; round < 20000; ++round) {
        std::string clear(length(random), ' ');
        for (char& c : clear)
            c = static_cast<char>(byte(random));
        const std::string scrambled = Scrambled(clear);
        ASSERT_EQ(scrambled.size(), clear.size());
        ASSERT_EQ(scrambled.find('\0'), std::string::npos);
        ASSERT_EQ(UnscramblePassword(scrambled), clear);
        for (char c : scrambled) {
            sawHighByte |= static_cast<uint8_t>(c) >= 128;
            saw255 |= static_cast<uint8_t>(c) == 255;
        }
    }
    EXPECT_TRUE(sawHighByte);
    EXPECT_TRUE(saw255);
}

TEST(PasswordScrambling, LetterCaseAndPredecessorsChangeTheForm)
{
    EXPECT_NE(Scrambled("Secret"), Scrambled("secret"));
    EXPECT_NE(Scrambled("SECRET"), Scrambled("secret"));
    // The same 'b' at position 2 scrambles differently after 'a' and after 'A'.
    EXPECT_NE(Scrambled("ab")[1], Scrambled("Ab")[1]);
}

TEST(PasswordScrambling, EmptyStaysEmpty)
{
    EXPECT_EQ(Scrambled(""), "");
    EXPECT_EQ(UnscramblePassword(""), "");
}

TEST(PasswordScrambling, ClearTextWithZeroByteHasNoScrambledForm)
{
    // A zero byte cannot come back: every unscrambled byte lies in 1..255.
    EXPECT_FALSE(ScramblePassword(std::string("a\0b", 3)).has_value());
}

}  // namespace
