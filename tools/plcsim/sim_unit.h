// The memory and mode of one simulated unit (private to the simulator).
#pragma once

#include <array>
#include <cstdint>
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

    // Writes are refused in RUN, as on the real controller; MONITOR lets the demo write.
    SimMode mode = SimMode::Monitor;
    std::array<std::vector<std::uint16_t>, 8> areas;
};
