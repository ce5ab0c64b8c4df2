// The texts of the status dialog's "Value" and "Quality" cells.
#pragma once

#include <cstdint>
#include <string>

class Variant;

// The cached value by the tag's native datatype: VT_I2 and VT_UI2 "%d", VT_I4 "%ld", VT_UI4
// "%lu", VT_R4 "%f", VT_BOOL "TRUE"/"FALSE", VT_BSTR the low bytes of its first elements
// characters up to a NUL, every array "[..]"; any other type gives "".
std::string formatStatusValue(std::uint16_t nativeDatatype, const Variant& value, std::uint16_t elements);

// The toolkit's quality text in the system default locale.
std::string formatStatusQuality(std::uint16_t quality);
