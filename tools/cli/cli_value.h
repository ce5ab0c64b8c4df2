// How vorlask-cli shows values and reads them back: integers in decimal, reals with %g,
// booleans true/false, strings in double quotes with C escapes, arrays as [a,b,c]. The door
// carries the same values as JSON (strings as Latin-1 code points).
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

// The value of a door reply; null (no value yet) prints as the empty text.
std::string formatCliValue(const nlohmann::json& value);

// The C-escaped, double-quoted form of a byte string.
std::string quoteCString(std::string_view bytes);

// Parses a VALUE argument; nullopt with *error when the text is not a value.
std::optional<nlohmann::json> parseCliValue(std::string_view text, std::string* error);

// "0xC0".
std::string formatQuality(unsigned quality);
