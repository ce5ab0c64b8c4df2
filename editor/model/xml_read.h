// How the editor reads elements: names in upper case, children found by name, text of an
// element with all its text below it.
#pragma once

#include <pugixml.hpp>

#include <string>

// First child element whose upper-case name is upperName; an empty node when none.
pugi::xml_node childByName(const pugi::xml_node& element, const char* upperName);
// The attribute's value; "" when missing (attribute names compared without regard to case).
std::string attributeText(const pugi::xml_node& element, const char* name);
// All text and CDATA below element, in document order.
std::string elementText(const pugi::xml_node& element);
// The text of a required child; raises editor_err::kObjectNotSet when it is missing.
std::string requiredChildText(const pugi::xml_node& element, const char* upperName);
