// The simulator's text memory image: load and dump.
#include <fstream>
#include <sstream>

#include "tools/plcsim/plc_simulator.h"
#include "tools/plcsim/sim_unit.h"

namespace {

const MemoryArea kDumpOrder[] = {MemoryArea::IR, MemoryArea::LR, MemoryArea::HR, MemoryArea::AR,
                                 MemoryArea::DM, MemoryArea::TC, MemoryArea::TG};

const char* modeName(SimMode mode)
{
    switch (mode) {
    case SimMode::Program: return "PROGRAM";
    case SimMode::Monitor: return "MONITOR";
    case SimMode::Run: return "RUN";
    }
    return "MONITOR";
}

} // namespace

bool PlcSimulator::loadImage(const std::string& path, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    std::string why;
    if (!loadImageText(in, &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    return true;
}

bool PlcSimulator::loadImageText(std::istream& in, std::string* error)
{
    std::uint8_t unit = 0;
    {
        std::lock_guard lock(mutex_);
        if (!served_.empty())
            unit = served_.front();
    }
    int lineNumber = 0;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string first;
        if (!(words >> first))
            continue;
        if (first == "unit") {
            int n = -1;
            if (!(words >> n) || n < 0 || n > 99)
                return fail("unit takes a number 0 to 99");
            unit = static_cast<std::uint8_t>(n);
            std::lock_guard lock(mutex_);
            unitCreate(unit);
            continue;
        }
        if (first == "mode") {
            std::string m;
            words >> m;
            if (m == "RUN")
                setMode(unit, SimMode::Run);
            else if (m == "MONITOR")
                setMode(unit, SimMode::Monitor);
            else if (m == "PROGRAM")
                setMode(unit, SimMode::Program);
            else
                return fail("mode is RUN, MONITOR or PROGRAM");
            continue;
        }
        if (first == "animate") {
            std::string rest;
            std::getline(words, rest);
            std::string why;
            auto rule = parseSimAnimation(rest, unit, &why);
            if (!rule)
                return fail(why);
            addAnimation(*rule);
            continue;
        }
        const MemoryArea area = simAreaFromName(first);
        if (area == MemoryArea::None)
            return fail("unknown word " + first);
        std::string addressText;
        if (!(words >> addressText))
            return fail("an address must follow the area");
        if (!addressText.empty() && addressText.back() == ':')
            addressText.pop_back();
        long address = -1;
        try {
            std::size_t used = 0;
            address = std::stol(addressText, &used, 10);
            if (used != addressText.size())
                address = -1;
        } catch (...) {
            address = -1;
        }
        if (address < 0)
            return fail("bad address " + addressText);
        std::vector<std::uint16_t> values;
        for (std::string v; words >> v;) {
            if (v == ":")
                continue;
            std::size_t used = 0;
            unsigned long x = 0;
            try {
                x = std::stoul(v, &used, area == MemoryArea::TG ? 10 : 16);
            } catch (...) {
                used = 0;
            }
            const bool ok = used == v.size() && v.size() <= 4 &&
                            (area != MemoryArea::TG || x <= 1);
            if (!ok)
                return fail("bad value " + v + (area == MemoryArea::TG ? " (0 or 1)" : " (hex)"));
            values.push_back(static_cast<std::uint16_t>(x));
        }
        if (static_cast<std::size_t>(address) + values.size() > simAreaSize(area))
            return fail("beyond the end of " + first);
        setWords(unit, area, static_cast<std::uint16_t>(address), values);
    }
    return true;
}

bool PlcSimulator::saveImage(const std::string& path, std::string* error) const
{
    std::ofstream out(path, std::ios::trunc);
    if (out)
        dumpImage(out);
    if (!out) {
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    return true;
}

void PlcSimulator::dumpImage(std::ostream& out) const
{
    std::lock_guard lock(mutex_);
    out << "# plcsim memory image\n";
    for (const auto& [number, unit] : memory_) {
        out << "unit " << int(number) << "\nmode " << modeName(unit->mode) << "\n";
        for (MemoryArea area : kDumpOrder) {
            const auto& words = unit->area(area);
            std::size_t i = 0;
            while (i < words.size()) {
                if (words[i] == 0) {
                    ++i;
                    continue;
                }
                std::size_t end = i;
                while (end < words.size() && words[end] != 0 && end - i < 16)
                    ++end;
                out << areaPrefix(area) << ' ' << i << ':';
                for (std::size_t k = i; k < end; ++k) {
                    char text[5];
                    std::snprintf(text, sizeof text, area == MemoryArea::TG ? "%u" : "%04X",
                                  unsigned(words[k]));
                    out << ' ' << text;
                }
                out << '\n';
                i = end;
            }
        }
    }
}
