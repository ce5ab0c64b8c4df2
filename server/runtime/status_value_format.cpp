#include "server/runtime/status_value_format.h"

#include "server/toolkit/quality.h"
#include "server/toolkit/variant.h"

#include <cstdio>

std::string formatStatusValue(std::uint16_t nativeDatatype, const Variant& value, std::uint16_t elements)
{
    char buf[64];
    if (nativeDatatype & vt::ARRAY)
        return "[..]";
    Variant v;
    switch (nativeDatatype) {
    case vt::I2:
    case vt::UI2:
        if (!value.changeType(nativeDatatype, &v))
            return "";
        std::snprintf(buf, sizeof buf, "%d", nativeDatatype == vt::I2 ? int(v.i2()) : int(v.ui2()));
        return buf;
    case vt::I4:
        if (!value.changeType(vt::I4, &v))
            return "";
        std::snprintf(buf, sizeof buf, "%ld", static_cast<long>(v.i4()));
        return buf;
    case vt::UI4:
        if (!value.changeType(vt::UI4, &v))
            return "";
        std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(v.ui4()));
        return buf;
    case vt::R4:
        if (!value.changeType(vt::R4, &v))
            return "";
        std::snprintf(buf, sizeof buf, "%f", static_cast<double>(v.r4()));
        return buf;
    case vt::BOOL:
        return value.asInt64() != 0 ? "TRUE" : "FALSE";
    case vt::BSTR: {
        if (value.vartype() != vt::BSTR)
            return "";
        const std::string& s = value.str();
        std::string out;
        for (std::size_t i = 0; i < elements && i < s.size() && s[i] != '\0'; ++i)
            out += s[i];
        return out;
    }
    default:
        return "";
    }
}

std::string formatStatusQuality(std::uint16_t quality)
{
    return quality2string(quality, kLocaleSystemDefault);
}
