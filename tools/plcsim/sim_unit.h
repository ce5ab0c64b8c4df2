// The memory and mode of one simulated unit (private to the simulator).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/plcsim/plc_simulator.h"

struct PlcSimulator::Unit {
    Unit()
    {
        for (int a = 1; a <= 7; ++a)
            areas[a].assign(simAreaSize(static_cast<MemoryArea>(a)), 0);
    }
    std::vector<std::uint16_t>& area(MemoryArea a) { return areas[static_cast<int>(a)]; }
    const std::vector<std::uint16_t>& area(MemoryArea a) const { return areas[static_cast<int>(a)]; }

    // RUN refuses writes under the run lock; MONITOR lets the demo write.
    SimMode mode = SimMode::Monitor;
    std::uint8_t model = 0x12;
    bool fatal = false;
    bool fals = false;
    std::string message;
    std::array<std::vector<std::uint16_t>, 8> areas;
};
