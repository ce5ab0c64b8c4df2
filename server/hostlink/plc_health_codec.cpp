#include "server/hostlink/plc_health_codec.h"

#include <cctype>
#include <cstdio>

#include "server/hostlink/hostlink_codec.h"

namespace {

bool isHex(std::string_view text)
{
    // Host Link writes hex digits in upper case; anything else is not a digit here.
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return !text.empty();
}

} // namespace

const char* modeName(PlcMode mode)
{
    switch (mode) {
    case PlcMode::Program: return "PROGRAM";
    case PlcMode::Monitor: return "MONITOR";
    case PlcMode::Run: return "RUN";
    }
    return "PROGRAM";
}

std::optional<PlcMode> modeFromName(std::string_view name)
{
    std::string upper;
    for (char c : name)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (PlcMode m : {PlcMode::Program, PlcMode::Monitor, PlcMode::Run})
        if (upper == modeName(m))
            return m;
    return std::nullopt;
}

std::optional<PlcMode> modeOfStatus(std::uint16_t status)
{
    switch ((status >> 8) & 0x3) {
    case 0: return PlcMode::Program;
    case 2: return PlcMode::Run;
    case 3: return PlcMode::Monitor;
    default: return std::nullopt;
    }
}

std::uint16_t statusWord(PlcMode mode, bool fatal, bool fals)
{
    const std::uint16_t bits = mode == PlcMode::Run ? 2 : mode == PlcMode::Monitor ? 3 : 0;
    return static_cast<std::uint16_t>(bits << 8 | (fatal ? kStatusFatal : 0) | (fals ? kStatusFals : 0));
}

std::uint8_t modeChangeCode(PlcMode mode)
{
    return mode == PlcMode::Run ? 3 : mode == PlcMode::Monitor ? 2 : 0;
}

std::optional<PlcMode> modeOfChangeCode(std::uint8_t code)
{
    switch (code) {
    case 0: return PlcMode::Program;
    case 2: return PlcMode::Monitor;
    case 3: return PlcMode::Run;
    default: return std::nullopt;
    }
}

std::string modelName(std::uint8_t code)
{
    switch (code) {
    case 0x01: return "C250";
    case 0x02: return "C500";
    case 0x03: return "C120";
    case 0x0E: return "C2000";
    case 0x10: return "C1000H";
    case 0x11: return "C2000H/CQM1/CPM1/CPM1A/SRM1";
    case 0x12: return "C20H/C28H/C40H/C200H/C200HS";
    case 0x20: return "CV500";
    case 0x21: return "CV1000";
    case 0x22: return "CV2000";
    case 0x40: case 0x41: case 0x42: return "CVM1";
    default: break;
    }
    char text[24];
    std::snprintf(text, sizeof text, "model code %02X", code);
    return text;
}

std::string buildCommand(std::uint8_t unit, std::string_view header, std::string_view payload)
{
    std::string f = "@00";
    putNumber(unit, f.data() + 1, 2, 10);
    f.append(header);
    f.append(payload);
    char fcs[2];
    appendFcs(f.data(), f.size(), fcs);
    f.append(fcs, 2);
    f += "*\r";
    return f;
}

HostLinkResult checkCommandReply(const char* frame, std::size_t length, std::string_view command,
                                 bool hasEndCode, std::string* data)
{
    if (length == 0)
        return kHostLinkNoReply;
    // "@", unit (2), header (2), FCS (2), "*", CR at the least.
    if (frame[length - 1] != kHostLinkCr || length < 9 || frame[0] != '@' || frame[length - 2] != '*')
        return kHostLinkBadFrame;
    const std::size_t fcsAt = length - 4;
    char expected[2];
    appendFcs(frame, fcsAt, expected);
    if (frame[fcsAt] != expected[0] || frame[fcsAt + 1] != expected[1])
        return kHostLinkFcsError;
    if (command.size() < 5 || frame[1] != command[1] || frame[2] != command[2])
        return kHostLinkBadFrame; // another unit's answer
    const std::string_view header(frame + 3, 2);
    if (header == "IC")
        return kHostLinkNotSupported;
    if (header != command.substr(3, 2))
        return kHostLinkBadFrame;
    std::size_t at = 5;
    if (hasEndCode) {
        if (fcsAt < 7 || !isHex(std::string_view(frame + 5, 2)))
            return kHostLinkBadFrame;
        const std::uint16_t endCode = parseHex(frame + 5, 2);
        if (endCode != 0)
            return mapEndCode(endCode);
        at = 7;
    }
    if (data)
        data->assign(frame + at, fcsAt - at);
    return kHostLinkOk;
}

std::optional<PlcStatusReply> parseStatusData(std::string_view data)
{
    if (data.size() < 4 || !isHex(data.substr(0, 4)))
        return std::nullopt;
    const std::uint16_t status = parseHex(data.data(), 4);
    PlcStatusReply r;
    if (auto m = modeOfStatus(status)) {
        r.mode = *m;
        r.modeKnown = true;
    }
    r.fatal = (status & kStatusFatal) != 0;
    r.fals = (status & kStatusFals) != 0;
    std::string_view message = data.substr(4, 16);
    while (!message.empty() && (message.back() == ' ' || message.back() == '\0'))
        message.remove_suffix(1);
    for (char c : message)
        r.message += (c >= 0x20 && c < 0x7F) ? c : '?'; // shown to users: printable only
    return r;
}

std::optional<std::uint8_t> parseModelData(std::string_view data)
{
    if (data.size() < 2 || !isHex(data.substr(0, 2)))
        return std::nullopt;
    return static_cast<std::uint8_t>(parseHex(data.data(), 2));
}
