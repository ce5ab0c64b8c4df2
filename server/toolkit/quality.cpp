#include "server/toolkit/quality.h"

std::string quality2string(std::uint16_t quality, std::uint32_t /*locale*/)
{
    std::string text;
    const unsigned status = quality & 0xC0u;
    const unsigned sub = quality & 0xFCu;
    switch (sub) {
    case 0x00: text = "Bad"; break;
    case 0x04: text = "Bad: Configuration Error"; break;
    case 0x08: text = "Bad: Not Connected"; break;
    case 0x0C: text = "Bad: Device Failure"; break;
    case 0x10: text = "Bad: Sensor Failure"; break;
    case 0x14: text = "Bad: Last Known Value"; break;
    case 0x18: text = "Bad: Comm Failure"; break;
    case 0x1C: text = "Bad: Out of Service"; break;
    case 0x20: text = "Bad: Waiting for Initial Data"; break;
    case 0x40: text = "Uncertain"; break;
    case 0x44: text = "Uncertain: Last Usable Value"; break;
    case 0x50: text = "Uncertain: Sensor Not Accurate"; break;
    case 0x54: text = "Uncertain: Engineering Units Exceeded"; break;
    case 0x58: text = "Uncertain: Sub-Normal"; break;
    case 0xC0: text = "Good"; break;
    case 0xD8: text = "Good: Local Override"; break;
    default:
        text = status == 0x00 ? "Bad" : status == 0x40 ? "Uncertain" : status == 0xC0 ? "Good" : "Unknown";
        break;
    }
    switch (quality & 0x03u) {
    case 1: text += ", Low Limited"; break;
    case 2: text += ", High Limited"; break;
    case 3: text += ", Constant"; break;
    default: break;
    }
    return text;
}

bool quality2string(std::string& text, std::uint16_t quality, std::uint32_t locale)
{
    text = quality2string(quality, locale);
    return true;
}
