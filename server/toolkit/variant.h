// The toolkit's one value type, in place of VARIANT, SAFEARRAY and BSTR.
//
// It holds the VARTYPEs of the data type table (vt:: in common/format_vocab.h): VT_EMPTY,
// VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_R8, VT_BOOL, VT_BSTR, and one-dimensional
// arrays (VT_ARRAY | element type, lower bound 0) of any of the scalar types. A VT_BSTR is a
// counted byte string: every byte is one character with code 0 to 255, NUL bytes included.
// VT_BOOL holds VARIANT_TRUE (-1, all bits set) or VARIANT_FALSE (0).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/format_vocab.h"

inline constexpr std::int16_t kVariantTrue = -1;
inline constexpr std::int16_t kVariantFalse = 0;

class Variant {
public:
    Variant() = default; // VT_EMPTY

    static Variant fromI1(std::int8_t v);
    static Variant fromUI1(std::uint8_t v);
    static Variant fromI2(std::int16_t v);
    static Variant fromUI2(std::uint16_t v);
    static Variant fromI4(std::int32_t v);
    static Variant fromUI4(std::uint32_t v);
    static Variant fromR4(float v);
    static Variant fromR8(double v);
    static Variant fromBool(bool v);
    static Variant fromString(std::string bytes); // VT_BSTR, bytes kept as they are
    // A zero-initialised array (0, false or empty strings) of elementType with count elements.
    static Variant makeArray(std::uint16_t elementType, std::size_t count);
    // The zero value of any supported VARTYPE (array types give an empty array); VT_EMPTY for
    // a type this value cannot hold.
    static Variant zeroOf(std::uint16_t vartype);
    static bool isSupportedType(std::uint16_t vartype);

    std::uint16_t vartype() const { return vt_; }
    bool isEmpty() const { return vt_ == vt::EMPTY; }
    bool isArray() const { return (vt_ & vt::ARRAY) != 0; }
    std::uint16_t elementType() const { return static_cast<std::uint16_t>(vt_ & ~vt::ARRAY); }

    // Scalar reads. Each gives the stored field as it is; call the one matching vartype()
    // (or use changeType). asInt64/asDouble work for every numeric scalar and VT_BOOL.
    std::int8_t i1() const { return static_cast<std::int8_t>(int_); }
    std::uint8_t ui1() const { return static_cast<std::uint8_t>(int_); }
    std::int16_t i2() const { return static_cast<std::int16_t>(int_); }
    std::uint16_t ui2() const { return static_cast<std::uint16_t>(int_); }
    std::int32_t i4() const { return static_cast<std::int32_t>(int_); }
    std::uint32_t ui4() const { return static_cast<std::uint32_t>(int_); }
    float r4() const { return static_cast<float>(real_); }
    double r8() const { return real_; }
    bool boolValue() const { return int_ != 0; }
    std::int16_t boolRaw() const { return static_cast<std::int16_t>(int_); } // -1 or 0
    const std::string& str() const { return str_; } // VT_BSTR bytes
    std::int64_t asInt64() const;
    double asDouble() const;

    // Arrays: lower bound 0, elements of elementType().
    std::size_t arraySize() const { return array_.size(); }
    const Variant& at(std::size_t i) const { return array_.at(i); }
    // Stores value at i, converted to the element type; false when it cannot be converted.
    bool setAt(std::size_t i, const Variant& value);
    // Grows with zero elements or drops elements from the end.
    void resizeArray(std::size_t count);
    const std::vector<Variant>& elements() const { return array_; }

    // OLE-style conversion (VariantChangeType with locale 0x0800): numbers between each other
    // with range checks (reals round half to even), VT_BOOL <-> numbers (nonzero is true, true is
    // -1 and so all bits set in unsigned types), numbers and VT_BOOL <-> VT_BSTR as decimal text
    // ("True"/"False" and "-1"/"0" accepted for VT_BOOL), VT_EMPTY to 0 or "", arrays element by
    // element into arrays. Returns false, with a short English reason in *why, when the value
    // cannot be represented (overflow, text that is no number, array <-> scalar, an unsupported
    // type); *out is then left unchanged.
    bool changeType(std::uint16_t target, Variant* out, std::string* why = nullptr) const;

    // Text for messages and the door: numbers in decimal, VT_BOOL "True"/"False", VT_BSTR as is,
    // arrays as "[a, b, ...]", VT_EMPTY "".
    std::string toString() const;

    friend bool operator==(const Variant& a, const Variant& b);
    friend bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }

private:
    std::uint16_t vt_ = vt::EMPTY;
    std::int64_t int_ = 0; // every integer type and VT_BOOL
    double real_ = 0.0;    // VT_R4 (kept exactly as float) and VT_R8
    std::string str_;
    std::vector<Variant> array_;
};

using SOCmnVariant = Variant;

// "VT_I2", "VT_BOOL ARRAY", ... ("VT_0x00xx" for codes without a name), for messages.
std::string vartypeName(std::uint16_t vartype);
