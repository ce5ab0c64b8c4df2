// The Host Link commands that ask a PLC about itself rather than its memory: MS (status),
// MM (model), TS (test, an echo) and SC (mode change). Pure functions over frames, as the
// memory commands' codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/hostlink/hostlink_result.h"

// The unit does not know the command (it answered with the header "IC"). Not a line failure:
// no message line, no failure count; the command is not asked of that PLC again.
inline constexpr HostLinkResult kHostLinkNotSupported = -2;

enum class PlcMode { Program, Monitor, Run };

// "PROGRAM", "MONITOR", "RUN".
const char* modeName(PlcMode mode);
std::optional<PlcMode> modeFromName(std::string_view name); // any letter case

// The status word of an MS reply: bits 8-9 the mode (00 PROGRAM, 10 RUN, 11 MONITOR),
// bit 15 a fatal error, bit 14 FALS.
inline constexpr std::uint16_t kStatusFatal = 0x8000;
inline constexpr std::uint16_t kStatusFals = 0x4000;
std::optional<PlcMode> modeOfStatus(std::uint16_t status); // nothing for the unused 01
std::uint16_t statusWord(PlcMode mode, bool fatal, bool fals);

// SC's mode data: 00 PROGRAM, 02 MONITOR, 03 RUN.
std::uint8_t modeChangeCode(PlcMode mode);
std::optional<PlcMode> modeOfChangeCode(std::uint8_t code);

// The model named by an MM reply's code ("C200H family"); "model code XX" when unknown.
std::string modelName(std::uint8_t code);

// "@" unit header payload FCS "*" CR.
std::string buildCommand(std::uint8_t unit, std::string_view header, std::string_view payload = {});

// One reply frame checked against the command it answers: CR at the end, "@", the unit, FCS,
// then the header: the command's own (data after its end code in *data; TS has no end code)
// or "IC" (kHostLinkNotSupported). A nonzero end code maps as for memory commands.
HostLinkResult checkCommandReply(const char* frame, std::size_t length, std::string_view command,
                                 bool hasEndCode, std::string* data);

struct PlcStatusReply {
    PlcMode mode = PlcMode::Program;
    bool modeKnown = false;
    bool fatal = false;
    bool fals = false;
    std::string message; // the FAL/FALS message, blanks trimmed; empty when none came
};
// The data of an MS reply (after the end code): 4 hex digits, optionally 16 characters.
std::optional<PlcStatusReply> parseStatusData(std::string_view data);
// The data of an MM reply: 2 hex digits (and whatever a model adds after them).
std::optional<std::uint8_t> parseModelData(std::string_view data);
