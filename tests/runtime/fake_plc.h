// A PLC owner for tags in tests: counts the re-adds a resized tag asks for.
#pragma once

#include <atomic>

#include "server/tags/plc_tag.h"

class FakePlc : public PlcTagOwner {
public:
    void readdResizedTag(PlcTag& tag) override
    {
        ++readds;
        lastTag = &tag;
        lastElements = tag.elements();
    }
    std::atomic<int> readds{0};
    PlcTag* lastTag = nullptr;
    std::uint16_t lastElements = 0;
};

inline SOCmnPointer<PlcTag> makeTag(FakePlc* plc, std::uint16_t type, bool bcd = false, MemoryArea area = MemoryArea::DM,
                                    std::uint16_t bit = 0, std::uint16_t elements = 0, std::uint8_t rights = 3,
                                    const std::string& name = "T", std::uint16_t address = 100)
{
    return makeObject<PlcTag>(name, rights, bcd, type, "desc", address, area, bit, elements, plc);
}
