// The two conversions between PLC words and a tag's OPC value, applied on the polling thread.
#pragma once

#include <cstdint>
#include <span>

#include "server/tags/plc_tag.h"
#include "server/tags/requests.h"

// words: the tag's wordCount() words from its address. Decodes them by the cached value's type
// and stores the value with good quality (time stamp and client notification by the cache).
// On failure (BCD on a type without it, a BCD digit above 9, an unknown type, no value, fewer
// words than wordCount) sets quality 0x0C and keeps the old value. Returns success.
bool storeReadWords(PlcTag& tag, std::span<const std::uint16_t> words);
bool storeReadWords(PlcTag& tag, const std::uint16_t* words); // wordCount() words

// Words the request's write value occupies; 0 for a type a WriteBlock cannot take (and for a
// value too long for 16-bit word counts).
std::uint16_t valueWordCount(const PendingRequest& pending);

// Puts the write value into words (the tag's first word in a WriteBlock's image, at least
// valueWordCount words). Booleans change only their own bits. Strings and arrays whose length
// differs from elements make elements the new length and re-add the tag to its cyclic block
// through its owner. Called with requestLock held. False fails the whole write block.
bool takeWriteWords(const PendingRequest& pending, std::span<std::uint16_t> words);
bool takeWriteWords(const PendingRequest& pending, std::uint16_t* words);
