// Number and text conversions with the editor's reading rules: the numeric value of a text is
// its leading number (no number gives 0), and storing it in a field too small raises Overflow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The leading numeric part of text: blanks, tabs and line feeds are skipped anywhere, then an
// optional sign, digits, an optional fraction and exponent; "&H" and "&O" prefixes read hex
// and octal. Text without a number gives 0.
double numericValue(std::string_view text);

// Whole-number conversions, rounding half to even; raise editor_err::kOverflow out of range.
std::int16_t toInt16(double value);
std::int32_t toInt32(double value);
std::uint8_t toByte(double value);

// UTF-8 helpers. Code points of a UTF-8 text; false for a malformed sequence.
bool decodeUtf8(std::string_view text, std::u32string& out);
void appendUtf8(std::string& out, char32_t cp);
// Number of characters (code points) of a UTF-8 text, and its first n characters.
std::size_t charCount(std::string_view text);
std::string leftChars(std::string_view text, std::size_t n);
std::string midChars(std::string_view text, std::size_t from); // from 0-based, to the end
// Upper case for ASCII and the ISO-8859-1 letters.
std::string upperCase(std::string_view text);
// ISO-8859-1 bytes for a UTF-8 text; false when a character lies above U+00FF or the text is
// malformed.
bool toLatin1(std::string_view utf8, std::string& out);
