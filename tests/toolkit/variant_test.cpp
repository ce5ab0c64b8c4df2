#include <gtest/gtest.h>

#include "server/toolkit/variant.h"

namespace {

struct ConversionCase {
    const char* name;
    Variant from;
    std::uint16_t target;
    bool ok;
    Variant expected;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class VariantConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(VariantConversion, ConvertsOrRefuses)
{
    const ConversionCase& c = GetParam();
    Variant out = Variant::fromI2(77); // must stay untouched on failure
    std::string why;
    EXPECT_EQ(c.from.changeType(c.target, &out, &why), c.ok) << why;
    if (c.ok) {
        EXPECT_EQ(out, c.expected) << out.toString();
        EXPECT_EQ(out.vartype(), c.target);
    } else {
        EXPECT_EQ(out, Variant::fromI2(77));
        EXPECT_FALSE(why.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    OleRules, VariantConversion,
    ::testing::Values(
        ConversionCase{"I4ToI2InRange", Variant::fromI4(-32768), vt::I2, true, Variant::fromI2(-32768)},
        ConversionCase{"I4ToI2Overflow", Variant::fromI4(32768), vt::I2, false, {}},
        ConversionCase{"NegativeToUI2Overflow", Variant::fromI2(-1), vt::UI2, false, {}},
        ConversionCase{"UI4MaxToI4Overflow", Variant::fromUI4(0xFFFFFFFFu), vt::I4, false, {}},
        ConversionCase{"R8RoundsHalfToEvenDown", Variant::fromR8(2.5), vt::I2, true, Variant::fromI2(2)},
        ConversionCase{"R8RoundsHalfToEvenUp", Variant::fromR8(3.5), vt::I2, true, Variant::fromI2(4)},
        ConversionCase{"R8NegativeRounds", Variant::fromR8(-1.6), vt::I4, true, Variant::fromI4(-2)},
        ConversionCase{"R8TooBigForUI2", Variant::fromR8(65535.6), vt::UI2, false, {}},
        ConversionCase{"R8TooBigForR4", Variant::fromR8(1e300), vt::R4, false, {}},
        ConversionCase{"TextToI2", Variant::fromString(" 1234 "), vt::I2, true, Variant::fromI2(1234)},
        ConversionCase{"TextRealToUI4", Variant::fromString("12.5"), vt::UI4, true, Variant::fromUI4(12)},
        ConversionCase{"TextNotANumber", Variant::fromString("abc"), vt::I2, false, {}},
        ConversionCase{"EmptyTextNotANumber", Variant::fromString(""), vt::R4, false, {}},
        ConversionCase{"TextOverflow", Variant::fromString("70000"), vt::UI2, false, {}},
        ConversionCase{"TextToR4", Variant::fromString("-1.25"), vt::R4, true, Variant::fromR4(-1.25f)},
        ConversionCase{"TrueToI2IsMinusOne", Variant::fromBool(true), vt::I2, true, Variant::fromI2(-1)},
        ConversionCase{"TrueToUI2IsAllBits", Variant::fromBool(true), vt::UI2, true, Variant::fromUI2(0xFFFF)},
        ConversionCase{"FalseToUI4IsZero", Variant::fromBool(false), vt::UI4, true, Variant::fromUI4(0)},
        ConversionCase{"NonzeroToBool", Variant::fromI4(5), vt::BOOL, true, Variant::fromBool(true)},
        ConversionCase{"ZeroRealToBool", Variant::fromR4(0.0f), vt::BOOL, true, Variant::fromBool(false)},
        ConversionCase{"TextTrueToBool", Variant::fromString("TRUE"), vt::BOOL, true, Variant::fromBool(true)},
        ConversionCase{"TextMinusOneToBool", Variant::fromString("-1"), vt::BOOL, true, Variant::fromBool(true)},
        ConversionCase{"TextZeroToBool", Variant::fromString("0"), vt::BOOL, true, Variant::fromBool(false)},
        ConversionCase{"TextYesNotBool", Variant::fromString("yes"), vt::BOOL, false, {}},
        ConversionCase{"I2ToText", Variant::fromI2(-12), vt::BSTR, true, Variant::fromString("-12")},
        ConversionCase{"BoolToText", Variant::fromBool(true), vt::BSTR, true, Variant::fromString("True")},
        ConversionCase{"R4ToText", Variant::fromR4(1.5f), vt::BSTR, true, Variant::fromString("1.5")},
        ConversionCase{"EmptyToI4IsZero", Variant(), vt::I4, true, Variant::fromI4(0)},
        ConversionCase{"EmptyToText", Variant(), vt::BSTR, true, Variant::fromString("")},
        ConversionCase{"ScalarToArrayMismatch", Variant::fromI2(1), vt::ARRAY | vt::I2, false, {}},
        ConversionCase{"ArrayToScalarMismatch", Variant::makeArray(vt::I2, 2), vt::I2, false, {}},
        ConversionCase{"ToUnsupportedType", Variant::fromI2(1), 0x0007, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Variant, ArraysConvertElementByElement)
{
    Variant a = Variant::makeArray(vt::I4, 3);
    ASSERT_TRUE(a.setAt(0, Variant::fromI4(1)));
    ASSERT_TRUE(a.setAt(1, Variant::fromI4(-2)));
    ASSERT_TRUE(a.setAt(2, Variant::fromI4(300)));
    Variant out;
    ASSERT_TRUE(a.changeType(vt::ARRAY | vt::I2, &out));
    EXPECT_EQ(out.vartype(), vt::ARRAY | vt::I2);
    ASSERT_EQ(out.arraySize(), 3u);
    EXPECT_EQ(out.at(1), Variant::fromI2(-2));

    std::string why;
    EXPECT_FALSE(a.changeType(vt::ARRAY | vt::UI1, &out, &why));
    EXPECT_NE(why.find("Element 1"), std::string::npos) << why;
}

TEST(Variant, ArrayLowerBoundZeroAndResize)
{
    Variant a = Variant::makeArray(vt::BOOL, 2);
    EXPECT_TRUE(a.isArray());
    EXPECT_EQ(a.elementType(), vt::BOOL);
    EXPECT_EQ(a.at(0), Variant::fromBool(false));
    a.resizeArray(5);
    EXPECT_EQ(a.arraySize(), 5u);
    EXPECT_EQ(a.at(4), Variant::fromBool(false));
    a.resizeArray(1);
    EXPECT_EQ(a.arraySize(), 1u);
    EXPECT_THROW(a.at(1), std::out_of_range);
    EXPECT_FALSE(a.setAt(3, Variant::fromBool(true)));
}

TEST(Variant, CountedStringsKeepNulBytesAndHighCodes)
{
    std::string bytes("A\0B\xFF", 4);
    Variant s = Variant::fromString(bytes);
    EXPECT_EQ(s.str().size(), 4u);
    EXPECT_EQ(s.str(), bytes);
    EXPECT_NE(s, Variant::fromString("A"));
    Variant copy;
    ASSERT_TRUE(s.changeType(vt::BSTR, &copy));
    EXPECT_EQ(copy.str().size(), 4u);
    // Text with a NUL is no number.
    Variant n;
    EXPECT_FALSE(Variant::fromString(std::string("12\0", 3)).changeType(vt::I2, &n));
}

TEST(Variant, BoolIsStoredAsVariantTrue)
{
    EXPECT_EQ(Variant::fromBool(true).boolRaw(), -1);
    EXPECT_EQ(Variant::fromBool(false).boolRaw(), 0);
}

TEST(Variant, ZeroOfKeepsTheType)
{
    EXPECT_EQ(Variant::zeroOf(vt::UI4).vartype(), vt::UI4);
    EXPECT_EQ(Variant::zeroOf(vt::UI4).ui4(), 0u);
    EXPECT_EQ(Variant::zeroOf(vt::ARRAY | vt::R4).arraySize(), 0u);
    EXPECT_TRUE(Variant::zeroOf(0x1234).isEmpty());
}

TEST(Variant, TypeNames)
{
    EXPECT_EQ(vartypeName(vt::ARRAY | vt::BOOL), "VT_BOOL ARRAY");
    EXPECT_EQ(vartypeName(vt::UI2), "VT_UI2");
    EXPECT_EQ(vartypeName(0x0042), "VT_0x0042");
}

} // namespace
