// Reading one attribute's or one child element's value, in the file's single-byte text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <pugixml.hpp>

enum class NodeNumber {
    Absent,  // no attribute, or no text: the value is left as it was
    Read,    // a decimal number that fits the width
    Invalid, // text that is not such a number: the value is left as it was
};

// The node's text: an attribute's value, or an element's first child when that is text.
// Returns false and leaves out unchanged when there is none (a missing attribute, an empty
// value, an element without text).
bool readNodeText(const pugi::xml_attribute& attribute, std::string& out);
bool readNodeText(const pugi::xml_node& element, std::string& out);

// The node's text as an unsigned number of 8, 16 or 32 bits. Spaces around the digits and one
// leading "+" are accepted; a sign, other characters or a value above the width are Invalid.
NodeNumber readNodeNumber(const pugi::xml_attribute& attribute, unsigned width, std::uint32_t& out);
NodeNumber readNodeNumber(const pugi::xml_node& element, unsigned width, std::uint32_t& out);

// The number rule above, on text already read.
NodeNumber parseUnsigned(std::string_view text, unsigned width, std::uint32_t& out);
