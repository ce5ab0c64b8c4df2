// Parsing of the simulator's small languages: area names, fault specs, animation rules.
#include <cctype>
#include <sstream>

#include "tools/plcsim/plc_simulator.h"

std::size_t simAreaSize(MemoryArea area)
{
    switch (area) {
    case MemoryArea::IR: return 512;
    case MemoryArea::LR: return 64;
    case MemoryArea::HR: return 100;
    case MemoryArea::AR: return 28;
    case MemoryArea::DM: return 6656;
    case MemoryArea::TC: return 512;
    case MemoryArea::TG: return 512;
    default: return 0;
    }
}

MemoryArea simAreaFromName(const std::string& name)
{
    std::string upper;
    for (char c : name)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return areaFromPrefix(upper);
}

namespace {

bool parseInt(const std::string& text, int base, long* out)
{
    if (text.empty())
        return false;
    std::size_t used = 0;
    try {
        *out = std::stol(text, &used, base);
    } catch (...) {
        return false;
    }
    return used == text.size();
}

} // namespace

std::optional<SimFault> parseSimFault(const std::string& spec)
{
    std::string text = spec;
    SimFault fault;
    if (auto x = text.rfind('x'); x != std::string::npos && x + 1 < text.size() &&
                                  std::isdigit(static_cast<unsigned char>(text[x + 1]))) {
        long times = 0;
        if (!parseInt(text.substr(x + 1), 10, &times) || times <= 0)
            return std::nullopt;
        fault.remaining = static_cast<int>(times);
        text.erase(x);
    }
    std::string name = text;
    std::string value;
    if (auto eq = text.find('='); eq != std::string::npos) {
        name = text.substr(0, eq);
        value = text.substr(eq + 1);
    }
    long v = 0;
    if (name == "silence" && value.empty())
        fault.kind = SimFaultKind::Silence;
    else if (name == "ic" && value.empty())
        fault.kind = SimFaultKind::NotSupported;
    else if (name == "delay" && parseInt(value, 10, &v) && v >= 0)
        fault.kind = SimFaultKind::Delay;
    else if (name == "badfcs" && value.empty())
        fault.kind = SimFaultKind::BadFcs;
    else if (name == "garble" && value.empty())
        fault.kind = SimFaultKind::GarbledFirstByte;
    else if (name == "noterm" && value.empty())
        fault.kind = SimFaultKind::MissingTerminator;
    else if (name == "cut" && value.empty())
        fault.kind = SimFaultKind::CutMidFrame;
    else if (name == "flood" && value.empty())
        fault.kind = SimFaultKind::Flood;
    else if (name == "dribble" && (value.empty() || (parseInt(value, 10, &v) && v >= 0))) {
        fault.kind = SimFaultKind::Dribble;
        if (value.empty())
            v = 5;
    } else if (name == "endcode" && value.size() == 2 && parseInt(value, 16, &v))
        fault.kind = SimFaultKind::EndCode;
    else
        return std::nullopt;
    fault.value = static_cast<int>(v);
    return fault;
}

std::optional<SimAnimation> parseSimAnimation(const std::string& text, std::uint8_t unit,
                                              std::string* error)
{
    auto fail = [&](const std::string& why) -> std::optional<SimAnimation> {
        if (error)
            *error = why + ": \"" + text + "\"";
        return std::nullopt;
    };
    std::istringstream in(text);
    std::vector<std::string> t;
    for (std::string word; in >> word;)
        t.push_back(word);
    if (t.size() < 3)
        return fail("an animation needs AREA ADDRESS KIND");
    SimAnimation a;
    a.unit = unit;
    a.area = simAreaFromName(t[0]);
    if (a.area == MemoryArea::None)
        return fail("unknown area " + t[0]);
    long address = 0;
    if (!parseInt(t[1], 10, &address) || address < 0 ||
        static_cast<std::size_t>(address) >= simAreaSize(a.area))
        return fail("address out of the area");
    a.address = static_cast<std::uint16_t>(address);
    std::size_t i = 3;
    auto number = [&](double* out) {
        if (i < t.size() && t[i] != "every") {
            try {
                *out = std::stod(t[i]);
            } catch (...) {
                return false;
            }
            ++i;
        }
        return true;
    };
    const std::string& kind = t[2];
    if (kind == "count") {
        a.kind = SimAnimation::Kind::Count;
        a.a = 1;
        if (!number(&a.a))
            return fail("bad step");
    } else if (kind == "bcdcount") {
        a.kind = SimAnimation::Kind::BcdCount;
    } else if (kind == "sine") {
        a.kind = SimAnimation::Kind::Sine;
        a.a = 1000;
        a.b = 0;
        a.periodMs = 10000;
        if (!number(&a.a) || !number(&a.b) || !number(&a.periodMs) || a.periodMs <= 0)
            return fail("sine takes AMPLITUDE OFFSET PERIOD_MS");
    } else if (kind == "clock") {
        a.kind = SimAnimation::Kind::Clock;
    } else if (kind == "toggle") {
        a.kind = SimAnimation::Kind::Toggle;
        a.a = 1;
        if (i < t.size() && t[i] != "every") {
            long mask = 0;
            if (!parseInt(t[i], 16, &mask) || mask < 0 || mask > 0xFFFF)
                return fail("toggle takes a hex mask");
            a.a = static_cast<double>(mask);
            ++i;
        }
    } else {
        return fail("unknown animation " + kind);
    }
    if (i < t.size()) {
        long every = 0;
        if (t[i] != "every" || i + 2 != t.size() || !parseInt(t[i + 1], 10, &every) || every <= 0)
            return fail("expected \"every MS\" at the end");
        a.everyMs = static_cast<int>(every);
    }
    return a;
}
