// The words of a tag's children, turned into what the tag object takes.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/format_vocab.h"

// Splits at the first "/": the part before is the type word (VT_EMPTY when not in the table),
// the result is the BCD flag, true exactly when the part after is "BCD". Without a "/" the
// type is VT_EMPTY and the flag false.
bool parseDataType(std::string_view text, std::uint16_t& vartype);

// "READ" 1, "WRITE" 2, "READWRITE" 3, any other text 0 (whole words, letter case counts).
std::uint8_t parseAccessRights(std::string_view word);

// The two-letter prefix of a channel; anything but the seven prefixes is MemoryArea::None.
MemoryArea parseArea(std::string_view prefix);

enum class ChannelRead {
    Read,
    AddressTooLarge, // the digits give a word address above 65535
};

// "DM100": area from the first two characters, word address from the decimal digits at the
// start of the rest (none gives 0; whatever follows them is ignored).
ChannelRead parseChannel(std::string_view text, MemoryArea& area, std::uint16_t& address);
