// Host Link frame codec: pure functions over byte buffers. The transactions built on them
// (readWords, writeWords) live in hostlink_transactions.h and in HostLinkChannel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/format_vocab.h"
#include "server/hostlink/hostlink_result.h"

// The one CR that ends every frame.
inline constexpr char kHostLinkCr = '\r';

inline constexpr std::size_t kReadCommandLength = 17;   // "@00RD00000000FF*" CR
inline constexpr std::size_t kReceiveBufferSize = 512;
inline constexpr std::size_t kFirstWriteBudget = 116;   // data characters in the first write frame
inline constexpr std::size_t kLaterWriteBudget = 120;   // ... and in each later one
inline constexpr std::size_t kWriteHeaderLength = 9;    // "@", unit, "W", letter, 4 address digits

// OPC qualities the line produces.
inline constexpr std::uint16_t kQualityGood = 0xC0;
inline constexpr std::uint16_t kQualityBad = 0x00;
inline constexpr std::uint16_t kQualityDeviceFailure = 0x0C;
inline constexpr std::uint16_t kQualityCommFailure = 0x18;
inline constexpr std::uint16_t kQualityOutOfService = 0x1C;

// "L", "H", "D", "J", "R", "C", "G" for areas 1 to 7; 0 for every other code.
char headerLetter(MemoryArea area);
// 1 for TG (one flag per character), 4 for the word areas.
std::size_t charsPerElement(MemoryArea area);

// Writes exactly width characters of value in base 10 or 16 (uppercase), most significant
// first, zero padded; digits above the width are dropped.
void putNumber(std::uint16_t value, char* text, int width, int base);
// Reads width characters as hexadecimal; never rejects a character (see the .cpp).
std::uint16_t parseHex(const char* text, int width);
// XOR of length bytes, written as two uppercase hex digits at out.
void appendFcs(const char* text, std::size_t length, char* out);
std::uint8_t frameCheck(const char* text, std::size_t length);

// Result for a nonzero end code.
HostLinkResult mapEndCode(std::uint16_t endCode);
// OPC quality for a failed transaction's result.
std::uint16_t qualityForResult(HostLinkResult result);

// ---- frame builders ----

// Fills the 17-byte read command into out. False (nothing written) when the area has no letter.
bool buildReadCommand(std::uint8_t unit, MemoryArea area, std::uint16_t firstWord,
                      std::uint16_t count, char* out);

// How many words the next write frame carries: the character budget (116 with the header,
// else 120) divided by the characters per element, at most remaining.
std::size_t writeFrameWords(MemoryArea area, bool firstFrame, std::size_t remaining);

// One write frame: header (first frame only), the words' data characters, FCS, then CR or
// "*" CR for the final frame. Empty when the area has no letter.
std::string buildWriteFrame(bool firstFrame, bool finalFrame, std::uint8_t unit, MemoryArea area,
                            std::uint16_t firstWord, const std::uint16_t* words,
                            std::size_t wordCount);

// ---- reply checkers ----

struct ReadReplyFrame {
    HostLinkResult result = kHostLinkOk;  // 0 when the frame may be used
    bool last = false;                    // ended with "*" CR
    std::size_t dataOffset = 0;           // data characters: [dataOffset, dataOffset + dataLength)
    std::size_t dataLength = 0;
};

// Checks one reply frame of a read: CR at the end, "@" first (first frame only), FCS, end code
// (first frame only). length 0 counts as "no reply" (4).
ReadReplyFrame checkReadReplyFrame(const char* frame, std::size_t length, bool firstFrame);

// Turns data characters into words at words[*index], counting *index on, storing no word at or
// beyond count. Returns 48 when a word area's data is not a whole number of 4-character
// groups (no partial word is stored), else 0.
HostLinkResult storeReadData(MemoryArea area, const char* data, std::size_t length,
                             std::uint16_t* words, std::size_t count, std::size_t* index);

// Whether a reply frame that starts with "@" names the unit and header code of the command
// (the four characters after "@"). A late reply to an earlier command fails this.
bool replyMatchesCommand(const char* reply, std::size_t length, const char* command);

// The reply to the final write frame: "@", unit, "W", letter, end code, FCS, "*", CR.
HostLinkResult checkWriteReply(const char* frame, std::size_t length);
// The reply to a non-final write frame must be a lone CR.
HostLinkResult checkWriteContinuation(const char* frame, std::size_t length);
