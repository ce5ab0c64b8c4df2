// The hostlink tool's commissioning commands: find the units on a line (scan), show one
// unit's model and mode (status), and change its mode (mode, only when told --yes).
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "server/hostlink/line.h"

struct LineSetting {
    std::uint32_t baud = 9600;
    std::string parity = "EVEN"; // NO, ODD or EVEN
    int dataBits = 7;
    int stopBits = 2;
};

struct ScanOptions {
    unsigned firstUnit = 0;
    unsigned lastUnit = 31;
    int timeoutMs = 200; // what a unit that does not answer costs
    bool autoSettings = false;
};

// Makes the line for a setting (the device or network target the tool was given).
using MakeLine = std::function<std::unique_ptr<Line>(const SerialSettings&)>;

// Prints "unit baud parity dataBits stopBits model mode" and a row per unit that answers TS.
// With autoSettings the usual settings are tried in turn until a unit answers. 0 when any
// unit answered, 1 when none did.
int scanLine(const MakeLine& makeLine, const LineSetting& setting, const ScanOptions& options, std::ostream& out,
             std::ostream& err);

// One unit's row (with the header); 0, or 1 when it does not answer.
int unitStatus(const MakeLine& makeLine, const LineSetting& setting, unsigned unit, std::ostream& out,
               std::ostream& err);

// SC to PROGRAM, MONITOR or RUN; 0, or 1 with the result on err.
int changeMode(const MakeLine& makeLine, const LineSetting& setting, unsigned unit, const std::string& mode,
               std::ostream& err);
