// A reader for the JSON objects that an OAuth 2.0 provider answers with: the
// token endpoint's and the device endpoint's replies are one object whose
// top-level members are all that sign-in needs. Portable.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Objects and arrays nest at most this deep, the reply's own object counted;
// no provider comes near it, and a deeper reply is refused whole.
inline constexpr size_t kJsonMaxDepth = 64;

enum class JsonType { String, Number, Boolean, Null, Object, Array };

struct JsonMember {
    std::string Name;  // UTF-8, escapes decoded
    JsonType Type = JsonType::Null;
    // A string as UTF-8 with its escapes decoded; any other value as written,
    // a nested object or array whole, from its opening bracket to its closing
    // one.
    std::string Value;
};

// The members of a text that is one JSON object (with white space around it
// at most), in the order written. Nothing when the text is anything else or
// malformed anywhere, nested too deep, not UTF-8 inside its strings, or when
// it names a member twice: a reply that could be read two ways is not read.
std::optional<std::vector<JsonMember>> ReadJsonObject(std::string_view text);

// The member of that name, or null.
const JsonMember* FindJsonMember(const std::vector<JsonMember>& members, std::string_view name);
