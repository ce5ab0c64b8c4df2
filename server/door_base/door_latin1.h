// The door carries the server's byte strings (PLC strings hold any byte 0..255) inside JSON,
// which must be UTF-8: each byte travels as the code point of the same number.
#pragma once

#include <string>
#include <string_view>

std::string latin1ToUtf8(std::string_view bytes);
// Code points above 255 and broken sequences become '?'.
std::string utf8ToLatin1(std::string_view utf8);
