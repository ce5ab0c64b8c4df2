#include "editor/model/text_conv.h"

#include "editor/model/editor_error.h"

#include <cmath>
#include <limits>

namespace {

bool skippable(char c) { return c == ' ' || c == '\t' || c == '\n'; }

double radixValue(std::string_view text, std::size_t i, int radix)
{
    std::uint64_t v = 0;
    int digits = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (skippable(c))
            continue;
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0 || d >= radix)
            break;
        v = v * radix + d;
        if (++digits > 16)
            break;
    }
    // Short hex and octal literals are 16-bit, longer ones 32-bit, both signed.
    if (v <= 0xFFFF && digits <= (radix == 16 ? 4 : 6))
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
    if (v <= 0xFFFFFFFFu)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return static_cast<double>(v);
}

double checkedRound(double value, double lo, double hi)
{
    if (std::isnan(value))
        editor_err::raise(editor_err::kOverflow);
    double r = std::nearbyint(value); // current rounding mode: to nearest, ties to even
    if (r < lo || r > hi)
        editor_err::raise(editor_err::kOverflow);
    return r;
}

} // namespace

double numericValue(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && skippable(text[i]))
        ++i;
    if (i + 1 < text.size() && text[i] == '&') {
        char p = text[i + 1];
        if (p == 'h' || p == 'H')
            return radixValue(text, i + 2, 16);
        if (p == 'o' || p == 'O')
            return radixValue(text, i + 2, 8);
    }
    std::string number;
    auto next = [&]() -> char {
        while (i < text.size() && skippable(text[i]))
            ++i;
        return i < text.size() ? text[i] : '\0';
    };
    char c = next();
    if (c == '-' || c == '+') {
        number += c;
        ++i;
    }
    bool digits = false;
    while ((c = next()) >= '0' && c <= '9') {
        number += c;
        digits = true;
        ++i;
    }
    if (next() == '.') {
        number += '.';
        ++i;
        while ((c = next()) >= '0' && c <= '9') {
            number += c;
            digits = true;
            ++i;
        }
    }
    if (!digits)
        return 0.0;
    c = next();
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
        std::size_t save = i;
        std::string exponent = "e";
        ++i;
        char s = next();
        if (s == '-' || s == '+') {
            exponent += s;
            ++i;
        }
        bool expDigits = false;
        while ((c = next()) >= '0' && c <= '9') {
            exponent += c;
            expDigits = true;
            ++i;
        }
        if (expDigits)
            number += exponent;
        else
            i = save;
    }
    return std::strtod(number.c_str(), nullptr);
}

std::int16_t toInt16(double value)
{
    return static_cast<std::int16_t>(checkedRound(value, -32768.0, 32767.0));
}

std::int32_t toInt32(double value)
{
    return static_cast<std::int32_t>(checkedRound(value, -2147483648.0, 2147483647.0));
}

std::uint8_t toByte(double value)
{
    return static_cast<std::uint8_t>(checkedRound(value, 0.0, 255.0));
}

bool decodeUtf8(std::string_view text, std::u32string& out)
{
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        char32_t cp;
        int extra;
        if (b < 0x80) {
            cp = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= text.size() && extra > 0)
            return false;
        for (int k = 1; k <= extra; ++k) {
            auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.push_back(cp);
        i += extra + 1;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {
// Byte offset of character n (a malformed text counts bytes).
std::size_t byteOffset(std::string_view text, std::size_t n)
{
    std::size_t i = 0;
    while (i < text.size() && n > 0) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        --n;
    }
    return i;
}
} // namespace

std::size_t charCount(std::string_view text)
{
    std::size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string leftChars(std::string_view text, std::size_t n)
{
    return std::string(text.substr(0, byteOffset(text, n)));
}

std::string midChars(std::string_view text, std::size_t from)
{
    return std::string(text.substr(byteOffset(text, from)));
}

std::string upperCase(std::string_view text)
{
    std::u32string cps;
    if (!decodeUtf8(text, cps)) {
        std::string out(text);
        for (char& c : out)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return out;
    }
    std::string out;
    out.reserve(text.size());
    for (char32_t cp : cps) {
        if ((cp >= U'a' && cp <= U'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7))
            cp -= 0x20;
        appendUtf8(out, cp);
    }
    return out;
}

bool toLatin1(std::string_view utf8, std::string& out)
{
    out.clear();
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}
