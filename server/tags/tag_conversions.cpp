#include "server/tags/tag_conversions.h"

#include <cstring>

#include "server/toolkit/quality.h"

namespace {

// digits BCD nibbles of raw, most significant first; false on a nibble above 9.
bool decodeBcd(std::uint32_t raw, int digits, std::uint32_t* out)
{
    std::uint32_t v = 0;
    for (int i = digits - 1; i >= 0; --i) {
        std::uint32_t d = (raw >> (4 * i)) & 0xF;
        if (d > 9)
            return false;
        v = v * 10 + d;
    }
    *out = v;
    return true;
}

// The last digits decimal digits of value as BCD nibbles.
std::uint32_t encodeBcd(std::uint32_t value, int digits)
{
    std::uint32_t raw = 0;
    for (int i = 0; i < digits; ++i) {
        raw |= (value % 10) << (4 * i);
        value /= 10;
    }
    return raw;
}

std::uint32_t join32(std::uint16_t low, std::uint16_t high) { return (static_cast<std::uint32_t>(high) << 16) | low; }

float floatFromBits(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::uint32_t bitsFromFloat(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// One number of one word (I2, UI2) or two (I4, R4, UI4: raw joined low word first) by type and
// BCD flag: only the unsigned types have a BCD form, of 4 or 8 digits.
bool decodeNumber(std::uint16_t type, bool bcd, std::uint32_t raw, Variant* out)
{
    if (bcd) {
        if (type != vt::UI2 && type != vt::UI4)
            return false;
        std::uint32_t v;
        if (!decodeBcd(raw, type == vt::UI4 ? 8 : 4, &v))
            return false;
        raw = v;
    }
    switch (type) {
    case vt::I2:
        *out = Variant::fromI2(static_cast<std::int16_t>(raw));
        return true;
    case vt::UI2:
        *out = Variant::fromUI2(static_cast<std::uint16_t>(raw));
        return true;
    case vt::I4:
        *out = Variant::fromI4(static_cast<std::int32_t>(raw));
        return true;
    case vt::R4:
        *out = Variant::fromR4(floatFromBits(raw));
        return true;
    case vt::UI4:
        *out = Variant::fromUI4(raw);
        return true;
    default:
        return false;
    }
}

bool encode16(std::uint16_t type, bool bcd, const Variant& v, std::uint16_t* w)
{
    switch (type) {
    case vt::I2:
        if (bcd)
            return false;
        *w = static_cast<std::uint16_t>(v.i2());
        return true;
    case vt::UI2:
        *w = bcd ? static_cast<std::uint16_t>(encodeBcd(v.ui2(), 4)) : v.ui2();
        return true;
    default:
        return false;
    }
}

bool encode32(std::uint16_t type, bool bcd, const Variant& v, std::uint16_t* w)
{
    std::uint32_t raw;
    switch (type) {
    case vt::I4:
        if (bcd)
            return false;
        raw = static_cast<std::uint32_t>(v.i4());
        break;
    case vt::R4:
        if (bcd)
            return false;
        raw = bitsFromFloat(v.r4());
        break;
    case vt::UI4:
        raw = bcd ? encodeBcd(v.ui4(), 8) : v.ui4();
        break;
    default:
        return false;
    }
    w[0] = static_cast<std::uint16_t>(raw & 0xFFFF);
    w[1] = static_cast<std::uint16_t>(raw >> 16);
    return true;
}

bool boolFromWords(const PlcTag& tag, const std::uint16_t* words, std::size_t i)
{
    if (tag.area() == MemoryArea::TG)
        return words[i] == 1;
    std::uint32_t pos = tag.bit() + static_cast<std::uint32_t>(i);
    return ((words[pos / 16] >> (pos % 16)) & 1) != 0;
}

void boolToWords(const PlcTag& tag, std::uint16_t* words, std::size_t i, bool value)
{
    if (tag.area() == MemoryArea::TG) {
        words[i] = value ? 1 : 0;
        return;
    }
    std::uint32_t pos = tag.bit() + static_cast<std::uint32_t>(i);
    std::uint16_t mask = static_cast<std::uint16_t>(1u << (pos % 16));
    if (value)
        words[pos / 16] |= mask;
    else
        words[pos / 16] &= static_cast<std::uint16_t>(~mask);
}

// The decoded value, or false for a conversion failure.
bool decodeWords(const PlcTag& tag, const Variant& current, const std::uint16_t* w, Variant* out)
{
    const std::uint16_t type = current.vartype();
    const bool bcd = tag.bcd();
    const std::uint16_t elements = tag.elements();
    switch (type) {
    case vt::I2:
    case vt::UI2:
        return decodeNumber(type, bcd, w[0], out);
    case vt::I4:
    case vt::R4:
    case vt::UI4:
        return decodeNumber(type, bcd, join32(w[0], w[1]), out);
    case vt::BOOL:
        if (bcd || (tag.area() != MemoryArea::TG && tag.bit() > 15))
            return false;
        *out = Variant::fromBool(boolFromWords(tag, w, 0));
        return true;
    case vt::BSTR: {
        std::string s(elements, '\0');
        for (std::size_t i = 0; i < elements; ++i) {
            std::uint16_t word = w[i / 2];
            s[i] = static_cast<char>(i % 2 == 0 ? word >> 8 : word & 0xFF);
        }
        *out = Variant::fromString(std::move(s));
        return true;
    }
    default:
        break;
    }
    if (!current.isArray())
        return false;
    const std::uint16_t element = current.elementType();
    Variant array = current;
    array.resizeArray(elements);
    Variant v;
    for (std::size_t i = 0; i < elements; ++i) {
        switch (element) {
        case vt::BOOL:
            if (bcd)
                return false;
            v = Variant::fromBool(boolFromWords(tag, w, i));
            break;
        case vt::I1:
        case vt::UI1: {
            if (bcd)
                return false;
            std::uint16_t word = w[i / 2];
            std::uint8_t byte = static_cast<std::uint8_t>(i % 2 == 0 ? word & 0xFF : word >> 8);
            v = element == vt::I1 ? Variant::fromI1(static_cast<std::int8_t>(byte)) : Variant::fromUI1(byte);
            break;
        }
        case vt::I2:
        case vt::UI2:
            if (!decodeNumber(element, bcd, w[i], &v))
                return false;
            break;
        case vt::I4:
        case vt::R4:
        case vt::UI4:
            if (!decodeNumber(element, bcd, join32(w[2 * i], w[2 * i + 1]), &v))
                return false;
            break;
        default:
            return false;
        }
        array.setAt(i, v);
    }
    *out = std::move(array);
    return true;
}

std::size_t valueLength(const Variant& v)
{
    if (v.isArray())
        return v.arraySize();
    if (v.vartype() == vt::BSTR)
        return v.str().size();
    return 0;
}

std::uint32_t wordsForValue(std::uint16_t native, const PlcTag& tag, std::size_t n)
{
    switch (native) {
    case vt::I2:
    case vt::UI2:
    case vt::BOOL: return 1;
    case vt::I4:
    case vt::R4:
    case vt::UI4: return 2;
    default: break;
    }
    if (n > 0xFFFF)
        return 0x10000; // too long for any count: refused below
    const std::uint32_t len = static_cast<std::uint32_t>(n);
    switch (native) {
    case vt::BSTR: return (len + 1) / 2;
    case vt::ARRAY | vt::I2:
    case vt::ARRAY | vt::UI2: return len;
    case vt::ARRAY | vt::I4:
    case vt::ARRAY | vt::R4:
    case vt::ARRAY | vt::UI4: return len * 2;
    case vt::ARRAY | vt::I1:
    case vt::ARRAY | vt::UI1: return (len + 1) / 2;
    case vt::ARRAY | vt::BOOL: return tag.area() == MemoryArea::TG ? len : (tag.bit() + len + 15) / 16;
    default: return 0;
    }
}

} // namespace

bool storeReadWords(PlcTag& tag, std::span<const std::uint16_t> words)
{
    auto cache = tag.getCache();
    if (!cache)
        return false;
    Variant current, decoded;
    bool ok = cache->getValue(current) && words.size() >= tag.wordCount() && tag.wordCount() > 0 &&
              decodeWords(tag, current, words.data(), &decoded);
    if (ok && cache->setValue(decoded, kOpcQualityGood, nullptr, nullptr, kLocaleSystemDefault))
        return true;
    cache->setQuality(kOpcQualityDeviceFailure);
    return false;
}

bool storeReadWords(PlcTag& tag, const std::uint16_t* words)
{
    if (!words) {
        if (auto cache = tag.getCache())
            cache->setQuality(kOpcQualityDeviceFailure);
        return false;
    }
    return storeReadWords(tag, std::span<const std::uint16_t>(words, tag.wordCount()));
}

std::uint16_t valueWordCount(const PendingRequest& pending)
{
    if (!pending.request || !pending.tag)
        return 0;
    Variant v;
    if (!pending.request->getWriteValue(v))
        return 0;
    std::uint32_t words = wordsForValue(pending.tag->getNativeDatatype(), *pending.tag, valueLength(v));
    return words > 0xFFFF ? 0 : static_cast<std::uint16_t>(words);
}

bool takeWriteWords(const PendingRequest& pending, std::span<std::uint16_t> words)
{
    if (!pending.request || !pending.tag)
        return false;
    PlcTag& tag = *pending.tag;
    Variant v;
    if (!pending.request->getWriteValue(v))
        return false;
    const std::uint16_t needed = valueWordCount(pending);
    if (needed == 0 || words.size() < needed)
        return false;
    std::uint16_t* w = words.data();
    const bool bcd = tag.bcd();
    const std::uint16_t type = v.vartype();

    switch (type) {
    case vt::I2:
    case vt::UI2:
        return encode16(type, bcd, v, w);
    case vt::I4:
    case vt::R4:
    case vt::UI4:
        return encode32(type, bcd, v, w);
    case vt::BOOL:
        if (bcd || (tag.area() != MemoryArea::TG && tag.bit() > 15))
            return false;
        boolToWords(tag, w, 0, v.boolValue());
        return true;
    default:
        break;
    }

    std::size_t n = 0;
    if (type == vt::BSTR) {
        const std::string& s = v.str();
        n = s.size();
        for (std::size_t i = 0; i < needed; ++i)
            w[i] = 0;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint16_t byte = static_cast<std::uint8_t>(s[i]);
            w[i / 2] |= static_cast<std::uint16_t>(i % 2 == 0 ? byte << 8 : byte);
        }
    } else if (v.isArray()) {
        const std::uint16_t element = v.elementType();
        n = v.arraySize();
        if (element == vt::I1 || element == vt::UI1)
            for (std::size_t i = 0; i < needed; ++i)
                w[i] = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const Variant& e = v.at(i);
            switch (element) {
            case vt::BOOL:
                if (bcd)
                    return false;
                boolToWords(tag, w, i, e.boolValue());
                break;
            case vt::I1:
            case vt::UI1: {
                if (bcd)
                    return false;
                std::uint16_t byte = e.ui1();
                w[i / 2] |= static_cast<std::uint16_t>(i % 2 == 0 ? byte : byte << 8);
                break;
            }
            case vt::I2:
            case vt::UI2:
                if (!encode16(element, bcd, e, w + i))
                    return false;
                break;
            case vt::I4:
            case vt::R4:
            case vt::UI4:
                if (!encode32(element, bcd, e, w + 2 * i))
                    return false;
                break;
            default:
                return false;
            }
        }
    } else {
        return false;
    }

    if (n != tag.elements()) {
        tag.setElements(static_cast<std::uint16_t>(n));
        if (tag.inBlock())
            if (PlcTagOwner* owner = tag.owner())
                owner->readdResizedTag(tag);
    }
    return true;
}

bool takeWriteWords(const PendingRequest& pending, std::uint16_t* words)
{
    if (!words)
        return false;
    return takeWriteWords(pending, std::span<std::uint16_t>(words, valueWordCount(pending)));
}
