// The JSON reader for the provider's replies; see json_reader.h. It reads
// other people's bytes: it never recurses, looks at each byte a bounded
// number of times, and refuses whatever is not well-formed JSON.
#include "json_reader.h"

#include "hex_digit.h"

#include <algorithm>
#include <cstdint>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A position in the text. Each reading step moves past what it read or, on
// malformed input, answers false, after which the reading ends.
class JsonCursor {
public:
    explicit JsonCursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ == text_.size(); }
    // The next byte, or NUL at the end, where no token can start.
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
    size_t Position() const { return pos_; }
    std::string_view Since(size_t start) const { return text_.substr(start, pos_ - start); }

    void SkipSpace()
    {
        while (!AtEnd() && IsSpace(text_[pos_]))
            ++pos_;
    }

    bool Take(char c)
    {
        if (AtEnd() || text_[pos_] != c)
            return false;
        ++pos_;
        return true;
    }

    // A string from its opening quotation mark; decoded into `out` when given.
    bool ReadString(std::string* out)
    {
        if (!Take('"'))
            return false;
        while (!AtEnd()) {
            const auto c = static_cast<unsigned char>(text_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c == '\\') {
                ++pos_;
                if (!ReadEscape(out))
                    return false;
            } else if (c < 0x20) {
                return false;
            } else if (c < 0x80) {
                if (out != nullptr)
                    *out += static_cast<char>(c);
                ++pos_;
            } else if (!TakeUtf8Sequence(out)) {
                return false;
            }
        }
        return false;
    }

    // A number, true, false or null.
    bool SkipScalar(JsonType& type)
    {
        switch (Peek()) {
        case 't':
            type = JsonType::Boolean;
            return TakeWord("true");
        case 'f':
            type = JsonType::Boolean;
            return TakeWord("false");
        case 'n':
            type = JsonType::Null;
            return TakeWord("null");
        default:
            type = JsonType::Number;
            return SkipNumber();
        }
    }

    // An object or array from its opening bracket, with everything inside it
    // checked, on a stack of its own rather than the call stack.
    bool SkipNested()
    {
        enum class Expect { FirstName, Name, Colon, FirstValue, Value, CommaOrEnd };
        std::string closers;  // for each open object or array, innermost last
        Expect expect = Expect::Value;
        while (true) {
            SkipSpace();
            if (AtEnd())
                return false;
            const char c = text_[pos_];
            if (expect == Expect::Value || expect == Expect::FirstValue) {
                if (c == '{' || c == '[') {
                    ++pos_;
                    closers += c == '{' ? '}' : ']';
                    // The reply's own object is one level more.
                    if (closers.size() >= kJsonMaxDepth)
                        return false;
                    expect = c == '{' ? Expect::FirstName : Expect::FirstValue;
                    continue;
                }
            }
            const bool mayEnd =
                expect == Expect::FirstName || expect == Expect::FirstValue || expect == Expect::CommaOrEnd;
            if (mayEnd && !closers.empty() && c == closers.back()) {
                ++pos_;
                closers.pop_back();
                if (closers.empty())
                    return true;
                expect = Expect::CommaOrEnd;
                continue;
            }
            JsonType type;
            switch (expect) {
            case Expect::FirstName:
            case Expect::Name:
                if (!ReadString(nullptr))
                    return false;
                expect = Expect::Colon;
                break;
            case Expect::Colon:
                if (!Take(':'))
                    return false;
                expect = Expect::Value;
                break;
            case Expect::FirstValue:
            case Expect::Value:
                if (!(c == '"' ? ReadString(nullptr) : SkipScalar(type)))
                    return false;
                expect = Expect::CommaOrEnd;
                break;
            case Expect::CommaOrEnd:
                if (!Take(','))
                    return false;
                expect = closers.back() == '}' ? Expect::Name : Expect::Value;
                break;
            }
        }
    }

private:
    bool TakeWord(std::string_view word)
    {
        if (!text_.substr(pos_).starts_with(word))
            return false;
        pos_ += word.size();
        return true;
    }

    void SkipDigits()
    {
        while (!AtEnd() && IsDigit(text_[pos_]))
            ++pos_;
    }

    bool SkipNumber()
    {
        Take('-');
        if (!Take('0')) {
            if (!IsDigit(Peek()))
                return false;
            SkipDigits();
        }
        if (Take('.')) {
            if (!IsDigit(Peek()))
                return false;
            SkipDigits();
        }
        if (Take('e') || Take('E')) {
            if (!Take('+'))
                Take('-');
            if (!IsDigit(Peek()))
                return false;
            SkipDigits();
        }
        return true;
    }

    bool ReadHex4(uint32_t& value)
    {
        if (text_.size() - pos_ < 4)
            return false;
        value = 0;
        for (size_t i = 0; i < 4; ++i) {
            const int digit = HexValue(text_[pos_ + i]);
            if (digit < 0)
                return false;
            value = value << 4 | static_cast<uint32_t>(digit);
        }
        pos_ += 4;
        return true;
    }

    // After the backslash.
    bool ReadEscape(std::string* out)
    {
        if (AtEnd())
            return false;
        char plain;
        switch (text_[pos_++]) {
        case '"':
            plain = '"';
            break;
        case '\\':
            plain = '\\';
            break;
        case '/':
            plain = '/';
            break;
        case 'b':
            plain = '\b';
            break;
        case 'f':
            plain = '\f';
            break;
        case 'n':
            plain = '\n';
            break;
        case 'r':
            plain = '\r';
            break;
        case 't':
            plain = '\t';
            break;
        case 'u':
            return ReadCodePoint(out);
        default:
            return false;
        }
        if (out != nullptr)
            *out += plain;
        return true;
    }

    // After "\u": one code point, or a surrogate pair in two escapes; a lone
    // surrogate is no character and cannot be written in UTF-8.
    bool ReadCodePoint(std::string* out)
    {
        uint32_t code;
        if (!ReadHex4(code))
            return false;
        if (code >= 0xDC00 && code <= 0xDFFF)
            return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            uint32_t low;
            if (!Take('\\') || !Take('u') || !ReadHex4(low) || low < 0xDC00 || low > 0xDFFF)
                return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        if (out != nullptr)
            AppendUtf8(*out, code);
        return true;
    }

    // One character of two to four bytes, well-formed as UTF-8 has it: no
    // overlong form, no surrogate, nothing beyond U+10FFFF.
    bool TakeUtf8Sequence(std::string* out)
    {
        const auto lead = static_cast<unsigned char>(text_[pos_]);
        size_t following;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            following = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            following = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            following = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (text_.size() - pos_ <= following)
            return false;
        for (size_t i = 1; i <= following; ++i) {
            const auto next = static_cast<unsigned char>(text_[pos_ + i]);
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF))
                return false;
        }
        if (out != nullptr)
            out->append(text_.substr(pos_, following + 1));
        pos_ += following + 1;
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

bool ReadMemberValue(JsonCursor& cursor, JsonMember& member)
{
    const size_t start = cursor.Position();
    const char first = cursor.Peek();
    if (first == '"') {
        member.Type = JsonType::String;
        return cursor.ReadString(&member.Value);
    }
    bool read;
    if (first == '{' || first == '[') {
        member.Type = first == '{' ? JsonType::Object : JsonType::Array;
        read = cursor.SkipNested();
    } else {
        read = cursor.SkipScalar(member.Type);
    }
    if (read)
        member.Value = cursor.Since(start);
    return read;
}

}  // namespace

std::optional<std::vector<JsonMember>> ReadJsonObject(std::string_view text)
{
    JsonCursor cursor(text);
    cursor.SkipSpace();
    if (!cursor.Take('{'))
        return std::nullopt;
    std::vector<JsonMember> members;
    cursor.SkipSpace();
    if (!cursor.Take('}')) {
        do {
            JsonMember member;
            cursor.SkipSpace();
            if (!cursor.ReadString(&member.Name))
                return std::nullopt;
            cursor.SkipSpace();
            if (!cursor.Take(':'))
                return std::nullopt;
            cursor.SkipSpace();
            if (!ReadMemberValue(cursor, member))
                return std::nullopt;
            members.push_back(std::move(member));
            cursor.SkipSpace();
        } while (cursor.Take(','));
        if (!cursor.Take('}'))
            return std::nullopt;
    }
    cursor.SkipSpace();
    if (!cursor.AtEnd())
        return std::nullopt;

    // Sorted, so that many members cost no more than their sorting.
    std::vector<std::string_view> names;
    names.reserve(members.size());
    for (const JsonMember& member : members)
        names.push_back(member.Name);
    std::sort(names.begin(), names.end());
    if (std::adjacent_find(names.begin(), names.end()) != names.end())
        return std::nullopt;
    return members;
}

const JsonMember* FindJsonMember(const std::vector<JsonMember>& members, std::string_view name)
{
    for (const JsonMember& member : members) {
        if (member.Name == name)
            return &member;
    }
    return nullptr;
}
