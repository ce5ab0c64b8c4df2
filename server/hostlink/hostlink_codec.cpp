#include "server/hostlink/hostlink_codec.h"

#include <cstring>

char headerLetter(MemoryArea area)
{
    switch (area) {
    case MemoryArea::LR: return 'L';
    case MemoryArea::HR: return 'H';
    case MemoryArea::DM: return 'D';
    case MemoryArea::AR: return 'J';
    case MemoryArea::IR: return 'R';
    case MemoryArea::TC: return 'C';
    case MemoryArea::TG: return 'G';
    default: return 0;
    }
}

std::size_t charsPerElement(MemoryArea area)
{
    return area == MemoryArea::TG ? 1 : 4;
}

void putNumber(std::uint16_t value, char* text, int width, int base)
{
    std::uint32_t v = value;
    for (int i = width - 1; i >= 0; --i) {
        const std::uint32_t digit = v % static_cast<std::uint32_t>(base);
        text[i] = static_cast<char>(digit < 10 ? '0' + digit : 'A' + (digit - 10));
        v /= static_cast<std::uint32_t>(base);
    }
}

std::uint16_t parseHex(const char* text, int width)
{
    // Lenient on purpose: a garbled digit yields some value, and the FCS catches the damage.
    std::uint16_t value = 0;
    for (int i = 0; i < width; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int digit = c >= 'A' ? c - 55 : c - 48;
        value = static_cast<std::uint16_t>(value * 16u + static_cast<unsigned>(digit));
    }
    return value;
}

std::uint8_t frameCheck(const char* text, std::size_t length)
{
    std::uint8_t fcs = 0;
    for (std::size_t i = 0; i < length; ++i)
        fcs ^= static_cast<std::uint8_t>(text[i]);
    return fcs;
}

void appendFcs(const char* text, std::size_t length, char* out)
{
    putNumber(frameCheck(text, length), out, 2, 16);
}

HostLinkResult mapEndCode(std::uint16_t endCode)
{
    switch (endCode) {
    case 0x01: return kHostLinkRunMode;
    case 0x02: return kHostLinkMonitorMode;
    case 0x04: return kHostLinkAddressOver;
    case 0x0B: return kHostLinkProgramMode;
    case 0x13: return kHostLinkFcsError;
    case 0x15: return kHostLinkEntryNumber;
    case 0x23: return kHostLinkProtected;
    case 0xA3: return kHostLinkFcsError;
    default: return kHostLinkOtherEndCode;
    }
}

std::uint16_t qualityForResult(HostLinkResult result)
{
    switch (result) {
    case 1: case 2: case 4: case 16: case 48: case 49:
        return kQualityCommFailure;
    case 64: case 69: case 70: case 71: case 72:
        return kQualityDeviceFailure;
    case 65: case 66: case 67: case 68:
        return kQualityOutOfService;
    default:
        return kQualityBad;
    }
}

bool buildReadCommand(std::uint8_t unit, MemoryArea area, std::uint16_t firstWord,
                      std::uint16_t count, char* out)
{
    const char letter = headerLetter(area);
    if (letter == 0)
        return false;
    static constexpr char kTemplate[] = "@00R00000000000*\r";
    static_assert(sizeof(kTemplate) - 1 == kReadCommandLength);
    std::memcpy(out, kTemplate, kReadCommandLength);
    putNumber(unit, out + 1, 2, 10);
    out[4] = letter;
    putNumber(firstWord, out + 5, 4, 10);
    putNumber(count, out + 9, 4, 10);
    appendFcs(out, 13, out + 13);
    return true;
}

std::size_t writeFrameWords(MemoryArea area, bool firstFrame, std::size_t remaining)
{
    const std::size_t budget = firstFrame ? kFirstWriteBudget : kLaterWriteBudget;
    const std::size_t perElement = charsPerElement(area);
    const std::size_t fit = budget / perElement;
    return remaining < fit ? remaining : fit;
}

std::string buildWriteFrame(bool firstFrame, bool finalFrame, std::uint8_t unit, MemoryArea area,
                            std::uint16_t firstWord, const std::uint16_t* words,
                            std::size_t wordCount)
{
    const char letter = headerLetter(area);
    if (letter == 0)
        return {};
    const std::size_t perElement = charsPerElement(area);
    const std::size_t headerLength = firstFrame ? kWriteHeaderLength : 0;
    std::string frame(headerLength + wordCount * perElement + (finalFrame ? 4 : 3), '\0');
    char* p = frame.data();
    if (firstFrame) {
        p[0] = '@';
        putNumber(unit, p + 1, 2, 10);
        p[3] = 'W';
        p[4] = letter;
        putNumber(firstWord, p + 5, 4, 10);
        p += kWriteHeaderLength;
    }
    for (std::size_t i = 0; i < wordCount; ++i) {
        if (perElement == 1)
            *p++ = static_cast<char>('0' + (words[i] & 0xFF));
        else {
            putNumber(words[i], p, 4, 16);
            p += 4;
        }
    }
    const std::size_t fcsAt = static_cast<std::size_t>(p - frame.data());
    appendFcs(frame.data(), fcsAt, p);
    p += 2;
    if (finalFrame)
        *p++ = '*';
    *p = kHostLinkCr;
    return frame;
}

ReadReplyFrame checkReadReplyFrame(const char* frame, std::size_t length, bool firstFrame)
{
    ReadReplyFrame r;
    if (length == 0) {
        r.result = kHostLinkNoReply;
        return r;
    }
    if (frame[length - 1] != kHostLinkCr || (firstFrame && frame[0] != '@')) {
        r.result = kHostLinkBadFrame;
        return r;
    }
    r.last = length >= 2 && frame[length - 2] == '*';
    const std::size_t tail = r.last ? 4 : 3;  // FCS, ["*"], CR
    const std::size_t header = firstFrame ? 7 : 0;  // "@", unit, header, end code
    if (length < header + tail) {
        r.result = kHostLinkBadFrame;
        return r;
    }
    const std::size_t fcsAt = length - tail;
    char expected[2];
    appendFcs(frame, fcsAt, expected);
    if (frame[fcsAt] != expected[0] || frame[fcsAt + 1] != expected[1]) {
        r.result = kHostLinkFcsError;
        return r;
    }
    if (firstFrame) {
        const std::uint16_t endCode = parseHex(frame + 5, 2);
        if (endCode != 0) {
            r.result = mapEndCode(endCode);
            return r;
        }
    }
    r.dataOffset = header;
    r.dataLength = fcsAt - header;
    return r;
}

HostLinkResult storeReadData(MemoryArea area, const char* data, std::size_t length,
                             std::uint16_t* words, std::size_t count, std::size_t* index)
{
    if (area == MemoryArea::TG) {
        for (std::size_t i = 0; i < length; ++i, ++*index) {
            if (*index < count)
                words[*index] = static_cast<std::uint16_t>(static_cast<unsigned char>(data[i]) - 48);
        }
        return kHostLinkOk;
    }
    // A partial group would be a made-up word: refuse the frame instead.
    if (length % 4 != 0)
        return kHostLinkBadFrame;
    for (std::size_t i = 0; i < length; i += 4, ++*index) {
        if (*index < count)
            words[*index] = parseHex(data + i, 4);
    }
    return kHostLinkOk;
}

bool replyMatchesCommand(const char* reply, std::size_t length, const char* command)
{
    if (length < 5 || reply[0] != '@')
        return true; // not a header at all: the frame checks judge it
    return std::memcmp(reply + 1, command + 1, 4) == 0;
}

HostLinkResult checkWriteReply(const char* frame, std::size_t length)
{
    if (length == 0)
        return kHostLinkNoReply;
    if (frame[length - 1] != kHostLinkCr || length < 11)
        return kHostLinkBadFrame;
    char expected[2];
    appendFcs(frame, 7, expected);
    if (frame[7] != expected[0] || frame[8] != expected[1])
        return kHostLinkFcsError;
    const std::uint16_t endCode = parseHex(frame + 5, 2);
    return endCode == 0 ? kHostLinkOk : mapEndCode(endCode);
}

HostLinkResult checkWriteContinuation(const char* frame, std::size_t length)
{
    if (length == 0)
        return kHostLinkNoReply;
    if (frame[length - 1] != kHostLinkCr)
        return kHostLinkBadFrame;
    return length == 1 ? kHostLinkOk : kHostLinkNoContinuation;
}
