// The JSON reader over the provider's replies: what it takes, with strings
// decoded and other values kept as written, and the many ways a reply can be
// malformed, each refused whole.
#include "json_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

std::string Nested(size_t depth)
{
    return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

TEST(OAuthJson, ReadsTheTopLevelMembersAndRefusesAnythingMalformed)
{
    const std::optional<std::vector<JsonMember>> reply = ReadJsonObject(
        " \r\n{\"access_token\" : \"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\\u00e9\\u20AC\\ud83d\\ude00\xc3\xa9\", "
        "\"expires_in\":-0.5e+3,\"ok\":true,\"none\":null,\"x\":{\"a\":[1,{\"b\":\"]\"}],\"a\":2},\"e\":[]}\t");
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), 6u);
    EXPECT_EQ((*reply)[0].Value, "a\"b\\c/d\b\f\n\r\t\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xc3\xa9");
    const struct {
        const char* name;
        JsonType type;
        const char* value;
    } kKept[] = {
        {"expires_in", JsonType::Number, "-0.5e+3"},
        {"ok", JsonType::Boolean, "true"},
        {"none", JsonType::Null, "null"},
        {"x", JsonType::Object, "{\"a\":[1,{\"b\":\"]\"}],\"a\":2}"},
        {"e", JsonType::Array, "[]"},
    };
    for (const auto& kept : kKept) {
        const JsonMember* member = FindJsonMember(*reply, kept.name);
        ASSERT_NE(member, nullptr) << kept.name;
        EXPECT_EQ(member->Type, kept.type) << kept.name;
        EXPECT_EQ(member->Value, kept.value) << kept.name;
    }
    EXPECT_EQ(FindJsonMember(*reply, "missing"), nullptr);
    EXPECT_TRUE(ReadJsonObject("{}"));
    EXPECT_TRUE(ReadJsonObject("{\"\\u0000\":\"\\u0000\"}"));
    EXPECT_TRUE(ReadJsonObject(Nested(kJsonMaxDepth)));

    const std::string kMalformed[] = {
        "",
        " ",
        "[]",
        "\"s\"",
        "1",
        "{",
        "}",
        "{\"a\"}",
        "{\"a\":}",
        "{\"a\":1,}",
        "{,}",
        "{\"a\":1 \"b\":2}",
        "{\"a\":1}x",
        "{\"a\":1}{}",
        "{\"a\":1}\0"s,
        "\xef\xbb\xbf{}",
        "{a:1}",
        "{'a':1}",
        // Numbers and words.
        "{\"a\":01}",
        "{\"a\":1.}",
        "{\"a\":.5}",
        "{\"a\":-}",
        "{\"a\":1e}",
        "{\"a\":+1}",
        "{\"a\":0x1}",
        "{\"a\":tru}",
        "{\"a\":True}",
        "{\"a\":nul}",
        "{\"a\":NaN}",
        // Strings: ends, escapes, surrogates, control characters, UTF-8.
        "{\"a\":\"x}",
        "{\"a\":\"\\x\"}",
        "{\"a\":\"\\u12\"}",
        "{\"a\":\"\\u12g4\"}",
        "{\"a\":\"\\ud83d\"}",
        "{\"a\":\"\\ude00\"}",
        "{\"a\":\"\\ud83d\\u0041\"}",
        "{\"a\":\"\\ud83d\\n\"}",
        "{\"a\":\"x\ty\"}",
        "{\"a\":\"x\0y\"}"s,
        "{\"a\":\"\xc0\xaf\"}",
        "{\"a\":\"\xe0\x80\xaf\"}",
        "{\"a\":\"\xed\xa0\x80\"}",
        "{\"a\":\"\xf4\x90\x80\x80\"}",
        "{\"a\":\"\xe2\x82\"}",
        "{\"a\":\"\x80\"}",
        "{\"a\":\"\xff\"}",
        // Nested values and names.
        "{\"a\":[1}",
        "{\"a\":{\"b\":1]}",
        "{\"a\":[1,]}",
        "{\"a\":[,1]}",
        "{\"a\":{\"b\"}}",
        "{\"a\":{1:2}}",
        "{\"a\":{\"b\":1,}}",
        "{\"a\":[\"\\q\"]}",
        "{\"a\":[[[",
        "{\"a\":[01]}",
        Nested(kJsonMaxDepth + 1),
        "{\"a\":" + std::string(100000, '['),
        // A name given twice: which one would count?
        "{\"error\":\"x\",\"access_token\":\"t\",\"error\":\"y\"}",
    };
    for (const std::string& text : kMalformed)
        EXPECT_FALSE(ReadJsonObject(text)) << text;
}

}  // namespace
