#include "server/toolkit/variant.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

bool isIntegerType(std::uint16_t t)
{
    return t == vt::I1 || t == vt::UI1 || t == vt::I2 || t == vt::UI2 || t == vt::I4 || t == vt::UI4;
}
bool isRealType(std::uint16_t t) { return t == vt::R4 || t == vt::R8; }
bool isScalarType(std::uint16_t t)
{
    return t == vt::EMPTY || isIntegerType(t) || isRealType(t) || t == vt::BOOL || t == vt::BSTR;
}

void integerRange(std::uint16_t t, std::int64_t* lo, std::int64_t* hi)
{
    switch (t) {
    case vt::I1: *lo = INT8_MIN; *hi = INT8_MAX; break;
    case vt::UI1: *lo = 0; *hi = UINT8_MAX; break;
    case vt::I2: *lo = INT16_MIN; *hi = INT16_MAX; break;
    case vt::UI2: *lo = 0; *hi = UINT16_MAX; break;
    case vt::I4: *lo = INT32_MIN; *hi = INT32_MAX; break;
    default: *lo = 0; *hi = UINT32_MAX; break;
    }
}

bool isSignedInteger(std::uint16_t t) { return t == vt::I1 || t == vt::I2 || t == vt::I4; }

std::string trimmed(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool equalsNoCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return i == a.size() && b[i] == 0;
}

// Decimal integer text (optional sign); false when the text is something else.
bool parseInteger(const std::string& text, std::int64_t* out)
{
    if (text.empty() || text.find('\0') != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != 0)
        return false;
    if (errno == ERANGE)
        return false;
    *out = v;
    return true;
}

bool parseReal(const std::string& text, double* out)
{
    if (text.empty() || text.find('\0') != std::string::npos)
        return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != 0)
        return false;
    *out = v;
    return true;
}

std::string quoted(const Variant& v)
{
    std::string s = v.toString();
    if (s.size() > 40)
        s = s.substr(0, 40) + "...";
    if (v.vartype() == vt::BSTR)
        return "\"" + s + "\"";
    return s;
}

bool fail(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

} // namespace

Variant Variant::fromI1(std::int8_t v) { Variant r; r.vt_ = vt::I1; r.int_ = v; return r; }
Variant Variant::fromUI1(std::uint8_t v) { Variant r; r.vt_ = vt::UI1; r.int_ = v; return r; }
Variant Variant::fromI2(std::int16_t v) { Variant r; r.vt_ = vt::I2; r.int_ = v; return r; }
Variant Variant::fromUI2(std::uint16_t v) { Variant r; r.vt_ = vt::UI2; r.int_ = v; return r; }
Variant Variant::fromI4(std::int32_t v) { Variant r; r.vt_ = vt::I4; r.int_ = v; return r; }
Variant Variant::fromUI4(std::uint32_t v) { Variant r; r.vt_ = vt::UI4; r.int_ = v; return r; }
Variant Variant::fromR4(float v) { Variant r; r.vt_ = vt::R4; r.real_ = v; return r; }
Variant Variant::fromR8(double v) { Variant r; r.vt_ = vt::R8; r.real_ = v; return r; }
Variant Variant::fromBool(bool v) { Variant r; r.vt_ = vt::BOOL; r.int_ = v ? kVariantTrue : kVariantFalse; return r; }
Variant Variant::fromString(std::string bytes) { Variant r; r.vt_ = vt::BSTR; r.str_ = std::move(bytes); return r; }

bool Variant::isSupportedType(std::uint16_t t)
{
    if (t & vt::ARRAY) {
        std::uint16_t e = static_cast<std::uint16_t>(t & ~vt::ARRAY);
        return e != vt::EMPTY && isScalarType(e);
    }
    return isScalarType(t);
}

Variant Variant::zeroOf(std::uint16_t t)
{
    Variant r;
    if (!isSupportedType(t))
        return r;
    r.vt_ = t;
    return r;
}

Variant Variant::makeArray(std::uint16_t elementType, std::size_t count)
{
    std::uint16_t e = static_cast<std::uint16_t>(elementType & ~vt::ARRAY);
    Variant r;
    if (e == vt::EMPTY || !isScalarType(e))
        return r;
    r.vt_ = static_cast<std::uint16_t>(e | vt::ARRAY);
    r.array_.assign(count, zeroOf(e));
    return r;
}

std::int64_t Variant::asInt64() const
{
    if (isRealType(vt_))
        return static_cast<std::int64_t>(std::nearbyint(real_));
    return int_;
}

double Variant::asDouble() const
{
    if (isRealType(vt_))
        return real_;
    return static_cast<double>(int_);
}

bool Variant::setAt(std::size_t i, const Variant& value)
{
    if (!isArray() || i >= array_.size())
        return false;
    Variant converted;
    if (!value.changeType(elementType(), &converted))
        return false;
    array_[i] = std::move(converted);
    return true;
}

void Variant::resizeArray(std::size_t count)
{
    if (isArray())
        array_.resize(count, zeroOf(elementType()));
}

bool Variant::changeType(std::uint16_t target, Variant* out, std::string* why) const
{
    if (!isSupportedType(target))
        return fail(why, "Cannot convert " + vartypeName(vt_) + " to " + vartypeName(target) + ": type not supported");
    if (target == vt_) {
        *out = *this;
        return true;
    }
    const std::string head = "Cannot convert " + vartypeName(vt_) + " " + quoted(*this) + " to " + vartypeName(target);

    if ((target & vt::ARRAY) || isArray()) {
        if (!((target & vt::ARRAY) && isArray()))
            return fail(why, head + ": type mismatch");
        Variant r = makeArray(target, 0);
        r.array_.reserve(array_.size());
        std::uint16_t e = static_cast<std::uint16_t>(target & ~vt::ARRAY);
        for (std::size_t i = 0; i < array_.size(); ++i) {
            Variant c;
            std::string inner;
            if (!array_[i].changeType(e, &c, &inner))
                return fail(why, "Element " + std::to_string(i) + ": " + inner);
            r.array_.push_back(std::move(c));
        }
        *out = std::move(r);
        return true;
    }

    Variant r;
    r.vt_ = target;
    if (target == vt::EMPTY)
        return fail(why, head + ": type mismatch");

    if (target == vt::BSTR) {
        r.str_ = toString();
        *out = std::move(r);
        return true;
    }

    if (target == vt::BOOL) {
        bool b = false;
        if (vt_ == vt::EMPTY)
            b = false;
        else if (vt_ == vt::BSTR) {
            std::string t = trimmed(str_);
            std::int64_t iv;
            double dv;
            if (equalsNoCase(t, "true"))
                b = true;
            else if (equalsNoCase(t, "false"))
                b = false;
            else if (parseInteger(t, &iv))
                b = iv != 0;
            else if (parseReal(t, &dv))
                b = dv != 0.0;
            else
                return fail(why, head + ": not a boolean");
        } else if (isRealType(vt_))
            b = real_ != 0.0;
        else
            b = int_ != 0;
        r.int_ = b ? kVariantTrue : kVariantFalse;
        *out = std::move(r);
        return true;
    }

    if (isRealType(target)) {
        double d = 0.0;
        if (vt_ == vt::BSTR) {
            if (!parseReal(trimmed(str_), &d))
                return fail(why, head + ": not a number");
        } else if (isRealType(vt_))
            d = real_;
        else
            d = static_cast<double>(int_);
        if (target == vt::R4) {
            if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
                return fail(why, head + ": overflow");
            r.real_ = static_cast<float>(d);
        } else
            r.real_ = d;
        *out = std::move(r);
        return true;
    }

    // Integer targets.
    std::int64_t lo, hi;
    integerRange(target, &lo, &hi);
    std::int64_t v = 0;
    if (vt_ == vt::EMPTY)
        v = 0;
    else if (vt_ == vt::BOOL) {
        // VARIANT_TRUE is all bits set, also in the unsigned types.
        v = int_ != 0 ? (isSignedInteger(target) ? -1 : hi) : 0;
    } else if (isIntegerType(vt_))
        v = int_;
    else {
        double d = 0.0;
        if (vt_ == vt::BSTR) {
            std::string t = trimmed(str_);
            std::int64_t iv;
            if (parseInteger(t, &iv)) {
                if (iv < lo || iv > hi)
                    return fail(why, head + ": overflow");
                r.int_ = iv;
                *out = std::move(r);
                return true;
            }
            if (!parseReal(t, &d))
                return fail(why, head + ": not a number");
        } else
            d = real_;
        if (!std::isfinite(d))
            return fail(why, head + ": overflow");
        d = std::nearbyint(d); // half to even, as OLE rounds
        if (d < static_cast<double>(lo) || d > static_cast<double>(hi))
            return fail(why, head + ": overflow");
        v = static_cast<std::int64_t>(d);
    }
    if (v < lo || v > hi)
        return fail(why, head + ": overflow");
    r.int_ = v;
    *out = std::move(r);
    return true;
}

std::string Variant::toString() const
{
    char buf[64];
    switch (vt_) {
    case vt::EMPTY:
        return {};
    case vt::BSTR:
        return str_;
    case vt::BOOL:
        return int_ != 0 ? "True" : "False";
    case vt::R4:
        std::snprintf(buf, sizeof buf, "%.7g", real_);
        return buf;
    case vt::R8:
        std::snprintf(buf, sizeof buf, "%.15g", real_);
        return buf;
    default:
        break;
    }
    if (isArray()) {
        std::string s = "[";
        for (std::size_t i = 0; i < array_.size(); ++i) {
            if (i)
                s += ", ";
            s += array_[i].toString();
        }
        return s + "]";
    }
    return std::to_string(int_);
}

bool operator==(const Variant& a, const Variant& b)
{
    if (a.vt_ != b.vt_)
        return false;
    if (a.isArray())
        return a.array_ == b.array_;
    if (a.vt_ == vt::BSTR)
        return a.str_ == b.str_;
    if (isRealType(a.vt_))
        return a.real_ == b.real_;
    return a.int_ == b.int_;
}

std::string vartypeName(std::uint16_t t)
{
    if (t & vt::ARRAY)
        return vartypeName(static_cast<std::uint16_t>(t & ~vt::ARRAY)) + " ARRAY";
    switch (t) {
    case vt::EMPTY: return "VT_EMPTY";
    case vt::I1: return "VT_I1";
    case vt::UI1: return "VT_UI1";
    case vt::I2: return "VT_I2";
    case vt::UI2: return "VT_UI2";
    case vt::I4: return "VT_I4";
    case vt::UI4: return "VT_UI4";
    case vt::R4: return "VT_R4";
    case vt::R8: return "VT_R8";
    case vt::BOOL: return "VT_BOOL";
    case vt::BSTR: return "VT_BSTR";
    default: break;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "VT_0x%04X", t);
    return buf;
}
