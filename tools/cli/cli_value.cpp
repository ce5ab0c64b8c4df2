#include "tools/cli/cli_value.h"

#include "server/door_base/door_latin1.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string formatReal(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

class ValueParser {
public:
    ValueParser(std::string_view text, std::string* error) : text_(text), error_(error) {}

    std::optional<nlohmann::json> parseWhole()
    {
        auto v = parseValue();
        if (!v)
            return std::nullopt;
        skipBlanks();
        if (pos_ != text_.size())
            return fail("unexpected text after the value: " + std::string(text_.substr(pos_)));
        return v;
    }

private:
    std::optional<nlohmann::json> fail(const std::string& why)
    {
        if (error_ && error_->empty())
            *error_ = why;
        return std::nullopt;
    }

    void skipBlanks()
    {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
    }

    std::optional<nlohmann::json> parseValue()
    {
        skipBlanks();
        if (pos_ >= text_.size())
            return fail("missing value");
        const char c = text_[pos_];
        if (c == '"')
            return parseString();
        if (c == '[')
            return parseArray();
        return parseWord();
    }

    std::optional<nlohmann::json> parseArray()
    {
        ++pos_; // '['
        nlohmann::json arr = nlohmann::json::array();
        skipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            return arr;
        }
        for (;;) {
            auto v = parseValue();
            if (!v)
                return std::nullopt;
            if (v->is_array())
                return fail("arrays of arrays are not values");
            arr.push_back(std::move(*v));
            skipBlanks();
            if (pos_ >= text_.size())
                return fail("missing ] at the end of the array");
            if (text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (text_[pos_] == ']') {
                ++pos_;
                return arr;
            }
            return fail("expected , or ] in the array");
        }
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    std::optional<nlohmann::json> parseString()
    {
        ++pos_; // opening quote
        std::string bytes;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"')
                return nlohmann::json(latin1ToUtf8(bytes));
            if (c != '\\') {
                bytes += c;
                continue;
            }
            if (pos_ >= text_.size())
                break;
            c = text_[pos_++];
            switch (c) {
            case 'a': bytes += '\a'; break;
            case 'b': bytes += '\b'; break;
            case 'f': bytes += '\f'; break;
            case 'n': bytes += '\n'; break;
            case 'r': bytes += '\r'; break;
            case 't': bytes += '\t'; break;
            case 'v': bytes += '\v'; break;
            case '\\': bytes += '\\'; break;
            case '"': bytes += '"'; break;
            case '\'': bytes += '\''; break;
            case '?': bytes += '?'; break;
            case 'x': {
                int value = 0, digits = 0;
                while (digits < 2 && pos_ < text_.size() && hexDigit(text_[pos_]) >= 0) {
                    value = value * 16 + hexDigit(text_[pos_++]);
                    ++digits;
                }
                if (!digits)
                    return fail("\\x needs hex digits");
                bytes += static_cast<char>(value);
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    int value = c - '0', digits = 1;
                    while (digits < 3 && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '7') {
                        value = value * 8 + (text_[pos_++] - '0');
                        ++digits;
                    }
                    if (value > 255)
                        return fail("octal escape above \\377");
                    bytes += static_cast<char>(value);
                } else {
                    return fail(std::string("unknown escape \\") + c);
                }
            }
        }
        return fail("missing closing double quote");
    }

    std::optional<nlohmann::json> parseWord()
    {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != ']' &&
               !std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        const std::string word(text_.substr(start, pos_ - start));
        if (word == "true")
            return nlohmann::json(true);
        if (word == "false")
            return nlohmann::json(false);
        if (word.empty())
            return fail("missing value");
        if (word.find_first_not_of("0123456789+-.eE") != std::string::npos)
            return fail("not a value: " + word + " (strings go in double quotes)");
        errno = 0;
        char* end = nullptr;
        if (word.find_first_of(".eE") == std::string::npos) {
            if (word[0] == '-') {
                const long long v = std::strtoll(word.c_str(), &end, 10);
                if (*end == '\0' && errno == 0 && end != word.c_str())
                    return nlohmann::json(static_cast<std::int64_t>(v));
            } else {
                const unsigned long long v = std::strtoull(word.c_str(), &end, 10);
                if (*end == '\0' && errno == 0 && end != word.c_str() && word[0] != '+')
                    return nlohmann::json(static_cast<std::uint64_t>(v));
                if (word[0] == '+') {
                    const long long s = std::strtoll(word.c_str(), &end, 10);
                    if (*end == '\0' && errno == 0)
                        return nlohmann::json(static_cast<std::int64_t>(s));
                }
            }
            if (errno == ERANGE)
                return fail("number out of range: " + word);
        }
        errno = 0;
        const double d = std::strtod(word.c_str(), &end);
        if (*end == '\0' && end != word.c_str() && std::isfinite(d) &&
            (std::isdigit(static_cast<unsigned char>(word.back())) || word.back() == '.'))
            return nlohmann::json(d);
        return fail("not a value: " + word + " (strings go in double quotes)");
    }

    std::string_view text_;
    std::string* error_;
    std::size_t pos_ = 0;
};

} // namespace

std::string quoteCString(std::string_view bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
        case '\a': out += "\\a"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\v': out += "\\v"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\%03o", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

std::string formatCliValue(const nlohmann::json& value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::null:
        return "";
    case nlohmann::json::value_t::boolean:
        return value.get<bool>() ? "true" : "false";
    case nlohmann::json::value_t::number_integer:
        return std::to_string(value.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned:
        return std::to_string(value.get<std::uint64_t>());
    case nlohmann::json::value_t::number_float:
        return formatReal(value.get<double>());
    case nlohmann::json::value_t::string:
        return quoteCString(utf8ToLatin1(value.get<std::string>()));
    case nlohmann::json::value_t::array: {
        std::string out = "[";
        bool first = true;
        for (const auto& e : value) {
            if (!first)
                out += ',';
            first = false;
            out += formatCliValue(e);
        }
        return out + "]";
    }
    default:
        return value.dump();
    }
}

std::optional<nlohmann::json> parseCliValue(std::string_view text, std::string* error)
{
    if (error)
        error->clear();
    return ValueParser(text, error).parseWhole();
}

std::string formatQuality(unsigned quality)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", quality & 0xFFFFu);
    return buf;
}
