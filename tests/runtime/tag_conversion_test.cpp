#include <gtest/gtest.h>

#include <cstring>

#include "server/tags/tag_conversions.h"
#include "tests/runtime/fake_plc.h"

namespace {

constexpr std::uint16_t A = vt::ARRAY;

std::uint16_t floatHigh(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return static_cast<std::uint16_t>(b >> 16);
}
std::uint16_t floatLow(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return static_cast<std::uint16_t>(b & 0xFFFF);
}

Variant arrayOf(std::uint16_t element, std::vector<Variant> values)
{
    Variant a = Variant::makeArray(element, values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        a.setAt(i, values[i]);
    return a;
}

// ---- wordCount ----

struct WordCountCase {
    const char* name;
    std::uint16_t type;
    MemoryArea area;
    std::uint16_t bit;
    std::uint16_t elements;
    std::uint16_t words;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const WordCountCase& c, std::ostream* os) { *os << c.name; }

class WordCount : public ::testing::TestWithParam<WordCountCase> {};

TEST_P(WordCount, FollowsTheDatatypeTable)
{
    const auto& c = GetParam();
    FakePlc plc;
    auto tag = makeTag(&plc, c.type, false, c.area, c.bit, c.elements);
    EXPECT_EQ(wordCount(*tag), c.words);
    EXPECT_EQ(wordCountFor(c.type, c.area, c.bit, c.elements), c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WordCount,
    ::testing::Values(
        WordCountCase{"Bool", vt::BOOL, MemoryArea::DM, 3, 0, 1}, WordCountCase{"BoolInTg", vt::BOOL, MemoryArea::TG, 0, 0, 1},
        WordCountCase{"I2", vt::I2, MemoryArea::DM, 0, 9, 1}, WordCountCase{"UI2", vt::UI2, MemoryArea::HR, 0, 0, 1},
        WordCountCase{"I4", vt::I4, MemoryArea::DM, 0, 0, 2}, WordCountCase{"UI4", vt::UI4, MemoryArea::DM, 0, 0, 2},
        WordCountCase{"R4", vt::R4, MemoryArea::DM, 0, 0, 2},
        WordCountCase{"String5", vt::BSTR, MemoryArea::DM, 0, 5, 3}, WordCountCase{"String0", vt::BSTR, MemoryArea::DM, 0, 0, 0},
        WordCountCase{"String6", vt::BSTR, MemoryArea::DM, 0, 6, 3},
        WordCountCase{"BoolArray20AtBit10", A | vt::BOOL, MemoryArea::DM, 10, 20, 2},
        WordCountCase{"BoolArray20AtBit0", A | vt::BOOL, MemoryArea::DM, 0, 20, 2},
        WordCountCase{"BoolArray6AtBit10", A | vt::BOOL, MemoryArea::DM, 10, 6, 1},
        WordCountCase{"BoolArray7AtBit10", A | vt::BOOL, MemoryArea::DM, 10, 7, 2},
        WordCountCase{"BoolArray20InTg", A | vt::BOOL, MemoryArea::TG, 10, 20, 20},
        WordCountCase{"I1Array3", A | vt::I1, MemoryArea::DM, 0, 3, 2}, WordCountCase{"UI1Array4", A | vt::UI1, MemoryArea::DM, 0, 4, 2},
        WordCountCase{"I2Array8", A | vt::I2, MemoryArea::DM, 0, 8, 8}, WordCountCase{"UI2Array8", A | vt::UI2, MemoryArea::DM, 0, 8, 8},
        WordCountCase{"I4Array10", A | vt::I4, MemoryArea::DM, 0, 10, 20}, WordCountCase{"R4Array3", A | vt::R4, MemoryArea::DM, 0, 3, 6},
        WordCountCase{"UI4Array3", A | vt::UI4, MemoryArea::DM, 0, 3, 6},
        WordCountCase{"UnknownType", 0, MemoryArea::DM, 0, 5, 0}, WordCountCase{"R8NotInTable", vt::R8, MemoryArea::DM, 0, 0, 0},
        WordCountCase{"TooLongForCounts", A | vt::I4, MemoryArea::DM, 0, 40000, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- storeReadWords ----

struct ReadCase {
    const char* name;
    std::uint16_t type;
    bool bcd;
    MemoryArea area;
    std::uint16_t bit;
    std::uint16_t elements;
    std::vector<std::uint16_t> words;
    bool ok;
    Variant expected;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class StoreReadWords : public ::testing::TestWithParam<ReadCase> {};

TEST_P(StoreReadWords, DecodesOrMarksDeviceFailure)
{
    const auto& c = GetParam();
    FakePlc plc;
    auto tag = makeTag(&plc, c.type, c.bcd, c.area, c.bit, c.elements);
    auto cache = tag->getCache();
    Variant before;
    cache->getValue(before);
    const bool hadValue = cache->hasValue();

    EXPECT_EQ(storeReadWords(*tag, std::span<const std::uint16_t>(c.words)), c.ok);
    CacheSnapshot s = cache->snapshot();
    if (c.ok) {
        EXPECT_EQ(s.quality, kOpcQualityGood);
        EXPECT_EQ(s.value, c.expected) << s.value.toString();
        EXPECT_EQ(s.value.vartype(), c.type);
    } else {
        EXPECT_EQ(s.quality, kOpcQualityDeviceFailure);
        EXPECT_EQ(s.hasValue, hadValue);
        if (hadValue) {
            EXPECT_EQ(s.value, before);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoreReadWords,
    ::testing::Values(
        ReadCase{"I2Negative", vt::I2, false, MemoryArea::DM, 0, 0, {0xFFFF}, true, Variant::fromI2(-1)},
        ReadCase{"UI2Plain", vt::UI2, false, MemoryArea::DM, 0, 0, {0xFFFF}, true, Variant::fromUI2(65535)},
        ReadCase{"UI2Bcd", vt::UI2, true, MemoryArea::DM, 0, 0, {0x1234}, true, Variant::fromUI2(1234)},
        ReadCase{"UI2BcdMax", vt::UI2, true, MemoryArea::DM, 0, 0, {0x9999}, true, Variant::fromUI2(9999)},
        ReadCase{"UI2BcdBadDigit", vt::UI2, true, MemoryArea::DM, 0, 0, {0x12A4}, false, {}},
        ReadCase{"I2WithBcdRefused", vt::I2, true, MemoryArea::DM, 0, 0, {0x0012}, false, {}},
        ReadCase{"I4LowWordFirst", vt::I4, false, MemoryArea::DM, 0, 0, {0xFFFE, 0xFFFF}, true, Variant::fromI4(-2)},
        ReadCase{"UI4LowWordFirst", vt::UI4, false, MemoryArea::DM, 0, 0, {0x0001, 0x0002}, true, Variant::fromUI4(0x00020001)},
        ReadCase{"UI4Bcd", vt::UI4, true, MemoryArea::DM, 0, 0, {0x5678, 0x1234}, true, Variant::fromUI4(12345678)},
        ReadCase{"UI4BcdBadHighDigit", vt::UI4, true, MemoryArea::DM, 0, 0, {0x5678, 0xF234}, false, {}},
        ReadCase{"I4WithBcdRefused", vt::I4, true, MemoryArea::DM, 0, 0, {0, 0}, false, {}},
        ReadCase{"R4Bits", vt::R4, false, MemoryArea::DM, 0, 0, {floatLow(1.5f), floatHigh(1.5f)}, true, Variant::fromR4(1.5f)},
        ReadCase{"R4WithBcdRefused", vt::R4, true, MemoryArea::DM, 0, 0, {0, 0}, false, {}},
        ReadCase{"BoolBit3Set", vt::BOOL, false, MemoryArea::DM, 3, 0, {0x0008}, true, Variant::fromBool(true)},
        ReadCase{"BoolBit3Clear", vt::BOOL, false, MemoryArea::DM, 3, 0, {0xFFF7}, true, Variant::fromBool(false)},
        ReadCase{"BoolBit15", vt::BOOL, false, MemoryArea::IR, 15, 0, {0x8000}, true, Variant::fromBool(true)},
        ReadCase{"BoolTgOne", vt::BOOL, false, MemoryArea::TG, 3, 0, {1}, true, Variant::fromBool(true)},
        ReadCase{"BoolTgOnlyOneIsTrue", vt::BOOL, false, MemoryArea::TG, 0, 0, {2}, true, Variant::fromBool(false)},
        ReadCase{"BoolWithBcdRefused", vt::BOOL, true, MemoryArea::DM, 0, 0, {1}, false, {}},
        ReadCase{"BoolBitBeyondWordRefused", vt::BOOL, false, MemoryArea::DM, 16, 0, {0xFFFF}, false, {}},
        ReadCase{"StringHighByteFirst", vt::BSTR, false, MemoryArea::DM, 0, 3, {0x4142, 0x4300}, true, Variant::fromString("ABC")},
        ReadCase{"StringKeepsNuls", vt::BSTR, false, MemoryArea::DM, 0, 4, {0x4100, 0x42FF}, true,
                 Variant::fromString(std::string("A\0B\xFF", 4))},
        ReadCase{"StringBcdIgnored", vt::BSTR, true, MemoryArea::DM, 0, 2, {0x4142}, true, Variant::fromString("AB")},
        ReadCase{"BoolArrayTg", A | vt::BOOL, false, MemoryArea::TG, 0, 3, {1, 0, 1}, true,
                 arrayOf(vt::BOOL, {Variant::fromBool(true), Variant::fromBool(false), Variant::fromBool(true)})},
        ReadCase{"BoolArrayAcrossWords", A | vt::BOOL, false, MemoryArea::DM, 14, 4, {0xC000, 0x0001}, true,
                 arrayOf(vt::BOOL, {Variant::fromBool(true), Variant::fromBool(true), Variant::fromBool(true),
                                    Variant::fromBool(false)})},
        ReadCase{"BoolArrayWithBcdRefused", A | vt::BOOL, true, MemoryArea::DM, 0, 2, {3}, false, {}},
        ReadCase{"I1ArrayLowByteFirst", A | vt::I1, false, MemoryArea::DM, 0, 3, {0x80FF, 0x0001}, true,
                 arrayOf(vt::I1, {Variant::fromI1(-1), Variant::fromI1(-128), Variant::fromI1(1)})},
        ReadCase{"UI1ArrayLowByteFirst", A | vt::UI1, false, MemoryArea::DM, 0, 2, {0x4142}, true,
                 arrayOf(vt::UI1, {Variant::fromUI1(0x42), Variant::fromUI1(0x41)})},
        ReadCase{"UI1ArrayWithBcdRefused", A | vt::UI1, true, MemoryArea::DM, 0, 2, {0x4142}, false, {}},
        ReadCase{"I2Array", A | vt::I2, false, MemoryArea::DM, 0, 2, {0xFFFF, 7}, true,
                 arrayOf(vt::I2, {Variant::fromI2(-1), Variant::fromI2(7)})},
        ReadCase{"I2ArrayWithBcdRefused", A | vt::I2, true, MemoryArea::DM, 0, 2, {1, 2}, false, {}},
        ReadCase{"UI2ArrayBcd", A | vt::UI2, true, MemoryArea::DM, 0, 2, {0x0012, 0x9999}, true,
                 arrayOf(vt::UI2, {Variant::fromUI2(12), Variant::fromUI2(9999)})},
        ReadCase{"UI2ArrayBcdBadDigit", A | vt::UI2, true, MemoryArea::DM, 0, 2, {0x0012, 0x99B9}, false, {}},
        ReadCase{"I4ArrayLowWordFirst", A | vt::I4, false, MemoryArea::DM, 0, 2, {1, 0, 0xFFFF, 0xFFFF}, true,
                 arrayOf(vt::I4, {Variant::fromI4(1), Variant::fromI4(-1)})},
        ReadCase{"R4Array", A | vt::R4, false, MemoryArea::DM, 0, 1, {floatLow(-2.25f), floatHigh(-2.25f)}, true,
                 arrayOf(vt::R4, {Variant::fromR4(-2.25f)})},
        ReadCase{"UI4ArrayBcd", A | vt::UI4, true, MemoryArea::DM, 0, 1, {0x5678, 0x1234}, true,
                 arrayOf(vt::UI4, {Variant::fromUI4(12345678)})},
        ReadCase{"R4ArrayWithBcdRefused", A | vt::R4, true, MemoryArea::DM, 0, 1, {0, 0}, false, {}},
        ReadCase{"UnknownTypeFails", 0, false, MemoryArea::DM, 0, 0, {1}, false, {}},
        ReadCase{"TooFewWordsFail", vt::I4, false, MemoryArea::DM, 0, 0, {1}, false, {}},
        ReadCase{"EmptyStringFails", vt::BSTR, false, MemoryArea::DM, 0, 0, {}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StoreReadWords, FailureKeepsTheLastGoodValue)
{
    FakePlc plc;
    auto tag = makeTag(&plc, vt::UI2, true);
    std::uint16_t good[] = {0x1234};
    ASSERT_TRUE(storeReadWords(*tag, good));
    std::uint16_t bad[] = {0x12A4};
    EXPECT_FALSE(storeReadWords(*tag, bad));
    auto s = tag->getCache()->snapshot();
    EXPECT_EQ(s.value, Variant::fromUI2(1234));
    EXPECT_EQ(s.quality, kOpcQualityDeviceFailure);
    ASSERT_TRUE(storeReadWords(*tag, good)); // the next good read restores the quality
    EXPECT_EQ(tag->getCache()->getQuality(), kOpcQualityGood);
}

TEST(StoreReadWords, ArrayIsResizedToTheTagsElements)
{
    FakePlc plc;
    auto tag = makeTag(&plc, A | vt::I2, false, MemoryArea::DM, 0, 2);
    tag->setElements(4); // as after a longer client write
    std::uint16_t words[] = {1, 2, 3, 4};
    ASSERT_TRUE(storeReadWords(*tag, words));
    Variant v;
    tag->getCache()->getValue(v);
    ASSERT_EQ(v.arraySize(), 4u);
    EXPECT_EQ(v.at(3), Variant::fromI2(4));
    tag->setElements(1);
    ASSERT_TRUE(storeReadWords(*tag, words));
    tag->getCache()->getValue(v);
    EXPECT_EQ(v.arraySize(), 1u);
}

// ---- takeWriteWords and valueWordCount ----

struct WriteCase {
    const char* name;
    std::uint16_t type;
    bool bcd;
    MemoryArea area;
    std::uint16_t bit;
    std::uint16_t elements;
    Variant value;
    std::vector<std::uint16_t> before; // what the write block holds (read first for booleans)
    bool ok;
    std::vector<std::uint16_t> after;
    std::uint16_t valueWords;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class TakeWriteWords : public ::testing::TestWithParam<WriteCase> {};

TEST_P(TakeWriteWords, EncodesTheValueIntoTheBlocksWords)
{
    const auto& c = GetParam();
    FakePlc plc;
    auto tag = makeTag(&plc, c.type, c.bcd, c.area, c.bit, c.elements);
    PendingRequest pending{makeObject<SODaSRequest>(SODaSRequest::write, SODaSRequest::kSyncWrite, tag, c.value), tag.get()};
    EXPECT_EQ(valueWordCount(pending), c.valueWords);
    std::vector<std::uint16_t> words = c.before;
    EXPECT_EQ(takeWriteWords(pending, std::span<std::uint16_t>(words)), c.ok);
    if (c.ok) {
        EXPECT_EQ(words, c.after);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TakeWriteWords,
    ::testing::Values(
        WriteCase{"I2", vt::I2, false, MemoryArea::DM, 0, 0, Variant::fromI2(-1), {0}, true, {0xFFFF}, 1},
        WriteCase{"UI2", vt::UI2, false, MemoryArea::DM, 0, 0, Variant::fromUI2(4660), {0}, true, {0x1234}, 1},
        WriteCase{"UI2BcdLastFourDigits", vt::UI2, true, MemoryArea::DM, 0, 0, Variant::fromUI2(12345), {0}, true, {0x2345}, 1},
        WriteCase{"UI2Bcd", vt::UI2, true, MemoryArea::DM, 0, 0, Variant::fromUI2(1234), {0}, true, {0x1234}, 1},
        WriteCase{"I2WithBcdRefused", vt::I2, true, MemoryArea::DM, 0, 0, Variant::fromI2(1), {0}, false, {}, 1},
        WriteCase{"I4LowWordFirst", vt::I4, false, MemoryArea::DM, 0, 0, Variant::fromI4(-2), {0, 0}, true, {0xFFFE, 0xFFFF}, 2},
        WriteCase{"UI4LowWordFirst", vt::UI4, false, MemoryArea::DM, 0, 0, Variant::fromUI4(0x00020001), {0, 0}, true, {1, 2}, 2},
        WriteCase{"UI4Bcd", vt::UI4, true, MemoryArea::DM, 0, 0, Variant::fromUI4(12345678), {0, 0}, true, {0x5678, 0x1234}, 2},
        WriteCase{"UI4BcdLastEightDigits", vt::UI4, true, MemoryArea::DM, 0, 0, Variant::fromUI4(123456789), {0, 0}, true,
                  {0x6789, 0x2345}, 2},
        WriteCase{"I4WithBcdRefused", vt::I4, true, MemoryArea::DM, 0, 0, Variant::fromI4(1), {0, 0}, false, {}, 2},
        WriteCase{"R4Bits", vt::R4, false, MemoryArea::DM, 0, 0, Variant::fromR4(1.5f), {0, 0}, true,
                  {floatLow(1.5f), floatHigh(1.5f)}, 2},
        WriteCase{"R4WithBcdRefused", vt::R4, true, MemoryArea::DM, 0, 0, Variant::fromR4(1), {0, 0}, false, {}, 2},
        WriteCase{"BoolFalseClearsOnlyItsBit", vt::BOOL, false, MemoryArea::DM, 3, 0, Variant::fromBool(false), {0xFFFF}, true,
                  {0xFFF7}, 1},
        WriteCase{"BoolTrueSetsOnlyItsBit", vt::BOOL, false, MemoryArea::DM, 3, 0, Variant::fromBool(true), {0x1000}, true,
                  {0x1008}, 1},
        WriteCase{"BoolTgTrueIsOne", vt::BOOL, false, MemoryArea::TG, 3, 0, Variant::fromBool(true), {0xFFFF}, true, {1}, 1},
        WriteCase{"BoolTgFalseIsZero", vt::BOOL, false, MemoryArea::TG, 0, 0, Variant::fromBool(false), {0x5555}, true, {0}, 1},
        WriteCase{"BoolWithBcdRefused", vt::BOOL, true, MemoryArea::DM, 0, 0, Variant::fromBool(true), {0}, false, {}, 1},
        WriteCase{"StringHighByteFirst", vt::BSTR, false, MemoryArea::DM, 0, 3, Variant::fromString("ABC"), {0xFFFF, 0xFFFF},
                  true, {0x4142, 0x4300}, 2},
        WriteCase{"StringEvenLength", vt::BSTR, false, MemoryArea::DM, 0, 4, Variant::fromString("ABCD"), {0, 0}, true,
                  {0x4142, 0x4344}, 2},
        WriteCase{"StringKeepsNulAndHighCodes", vt::BSTR, false, MemoryArea::DM, 0, 3,
                  Variant::fromString(std::string("\0\xE9Z", 3)), {0xFFFF, 0xFFFF}, true, {0x00E9, 0x5A00}, 2},
        WriteCase{"BoolArrayTg", A | vt::BOOL, false, MemoryArea::TG, 0, 3,
                  arrayOf(vt::BOOL, {Variant::fromBool(true), Variant::fromBool(false), Variant::fromBool(true)}), {7, 7, 7},
                  true, {1, 0, 1}, 3},
        WriteCase{"BoolArrayKeepsOtherBits", A | vt::BOOL, false, MemoryArea::DM, 14, 3,
                  arrayOf(vt::BOOL, {Variant::fromBool(true), Variant::fromBool(false), Variant::fromBool(true)}),
                  {0x0000, 0xFFFE}, true, {0x4000, 0xFFFF}, 2},
        WriteCase{"BoolArrayWithBcdRefused", A | vt::BOOL, true, MemoryArea::DM, 0, 1, arrayOf(vt::BOOL, {Variant::fromBool(true)}),
                  {0}, false, {}, 1},
        WriteCase{"I1ArrayLowByteFirst", A | vt::I1, false, MemoryArea::DM, 0, 3,
                  arrayOf(vt::I1, {Variant::fromI1(-1), Variant::fromI1(-128), Variant::fromI1(1)}), {0xAAAA, 0xAAAA}, true,
                  {0x80FF, 0x0001}, 2},
        WriteCase{"UI1ArrayWithBcdRefused", A | vt::UI1, true, MemoryArea::DM, 0, 1, arrayOf(vt::UI1, {Variant::fromUI1(1)}),
                  {0}, false, {}, 1},
        WriteCase{"I2Array", A | vt::I2, false, MemoryArea::DM, 0, 2, arrayOf(vt::I2, {Variant::fromI2(-1), Variant::fromI2(5)}),
                  {0, 0}, true, {0xFFFF, 5}, 2},
        WriteCase{"I2ArrayWithBcdRefused", A | vt::I2, true, MemoryArea::DM, 0, 1, arrayOf(vt::I2, {Variant::fromI2(1)}), {0},
                  false, {}, 1},
        WriteCase{"UI2ArrayBcd", A | vt::UI2, true, MemoryArea::DM, 0, 2,
                  arrayOf(vt::UI2, {Variant::fromUI2(12), Variant::fromUI2(12345)}), {0, 0}, true, {0x0012, 0x2345}, 2},
        WriteCase{"I4ArrayLowWordFirst", A | vt::I4, false, MemoryArea::DM, 0, 2,
                  arrayOf(vt::I4, {Variant::fromI4(1), Variant::fromI4(-1)}), {0, 0, 0, 0}, true, {1, 0, 0xFFFF, 0xFFFF}, 4},
        WriteCase{"UI4ArrayBcd", A | vt::UI4, true, MemoryArea::DM, 0, 1, arrayOf(vt::UI4, {Variant::fromUI4(12345678)}), {0, 0},
                  true, {0x5678, 0x1234}, 2},
        WriteCase{"R4ArrayWithBcdRefused", A | vt::R4, true, MemoryArea::DM, 0, 1, arrayOf(vt::R4, {Variant::fromR4(1)}), {0, 0},
                  false, {}, 2},
        WriteCase{"BufferTooShortRefused", vt::I4, false, MemoryArea::DM, 0, 0, Variant::fromI4(1), {0}, false, {}, 2},
        WriteCase{"UnknownTypeRefused", 0, false, MemoryArea::DM, 0, 0, Variant::fromI2(1), {0}, false, {}, 0},
        WriteCase{"EmptyStringTakesNoWords", vt::BSTR, false, MemoryArea::DM, 0, 2, Variant::fromString(""), {0}, false, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct LengthCase {
    const char* name;
    std::uint16_t type;
    MemoryArea area;
    std::uint16_t bit;
    Variant value;
    std::uint16_t words;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

class ValueWordCount : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ValueWordCount, CountsByTheClientsLength)
{
    const auto& c = GetParam();
    FakePlc plc;
    auto tag = makeTag(&plc, c.type, false, c.area, c.bit, 8);
    PendingRequest pending{makeObject<SODaSRequest>(SODaSRequest::write, SODaSRequest::kSyncWrite, tag, c.value), tag.get()};
    EXPECT_EQ(valueWordCount(pending), c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValueWordCount,
    ::testing::Values(
        LengthCase{"I2Array10", A | vt::I2, MemoryArea::DM, 0, Variant::makeArray(vt::I2, 10), 10},
        LengthCase{"I4Array10", A | vt::I4, MemoryArea::DM, 0, Variant::makeArray(vt::I4, 10), 20},
        LengthCase{"R4Array3", A | vt::R4, MemoryArea::DM, 0, Variant::makeArray(vt::R4, 3), 6},
        LengthCase{"UI1Array5", A | vt::UI1, MemoryArea::DM, 0, Variant::makeArray(vt::UI1, 5), 3},
        LengthCase{"BoolArray20AtBit10", A | vt::BOOL, MemoryArea::DM, 10, Variant::makeArray(vt::BOOL, 20), 2},
        LengthCase{"BoolArray20InTg", A | vt::BOOL, MemoryArea::TG, 10, Variant::makeArray(vt::BOOL, 20), 20},
        LengthCase{"String5", vt::BSTR, MemoryArea::DM, 0, Variant::fromString("ABCDE"), 3},
        LengthCase{"Bool", vt::BOOL, MemoryArea::DM, 3, Variant::fromBool(true), 1},
        LengthCase{"UI4", vt::UI4, MemoryArea::DM, 0, Variant::fromUI4(1), 2},
        LengthCase{"TooLongForCounts", A | vt::I4, MemoryArea::DM, 0, Variant::makeArray(vt::I4, 40000), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TakeWriteWords, LongerArrayChangesElementsAndRequeuesTheTag)
{
    FakePlc plc;
    auto tag = makeTag(&plc, A | vt::I2, false, MemoryArea::DM, 0, 8);
    Variant ten = Variant::makeArray(vt::I2, 10);
    for (int i = 0; i < 10; ++i)
        ten.setAt(i, Variant::fromI2(static_cast<std::int16_t>(i + 1)));
    PendingRequest pending{makeObject<SODaSRequest>(SODaSRequest::write, SODaSRequest::kSyncWrite, tag, ten), tag.get()};
    ASSERT_EQ(valueWordCount(pending), 10);
    std::vector<std::uint16_t> words(10, 0);

    // Not in a cyclic block: only the length changes.
    ASSERT_TRUE(takeWriteWords(pending, std::span<std::uint16_t>(words)));
    EXPECT_EQ(words[9], 10);
    EXPECT_EQ(tag->elements(), 10);
    EXPECT_EQ(wordCount(*tag), 10);
    EXPECT_EQ(plc.readds, 0);

    // In a block: the PLC is asked to re-add it, already with the new length.
    Variant three = Variant::makeArray(vt::I2, 3);
    PendingRequest shorter{makeObject<SODaSRequest>(SODaSRequest::write, SODaSRequest::kSyncWrite, tag, three), tag.get()};
    tag->setInBlock(true);
    ASSERT_TRUE(takeWriteWords(shorter, std::span<std::uint16_t>(words)));
    EXPECT_EQ(tag->elements(), 3);
    EXPECT_EQ(plc.readds, 1);
    EXPECT_EQ(plc.lastTag, tag.get());
    EXPECT_EQ(plc.lastElements, 3);

    // Same length: nothing to re-add.
    ASSERT_TRUE(takeWriteWords(shorter, std::span<std::uint16_t>(words)));
    EXPECT_EQ(plc.readds, 1);
    tag->setInBlock(false);
}

TEST(TakeWriteWords, LongerStringChangesElements)
{
    FakePlc plc;
    auto tag = makeTag(&plc, vt::BSTR, false, MemoryArea::DM, 0, 3);
    PendingRequest pending{
        makeObject<SODaSRequest>(SODaSRequest::write, SODaSRequest::kSyncWrite, tag, Variant::fromString("HELLO")), tag.get()};
    std::vector<std::uint16_t> words(3, 0xFFFF);
    ASSERT_TRUE(takeWriteWords(pending, std::span<std::uint16_t>(words)));
    EXPECT_EQ(words, (std::vector<std::uint16_t>{0x4845, 0x4C4C, 0x4F00}));
    EXPECT_EQ(tag->elements(), 5);
    EXPECT_EQ(wordCount(*tag), 3);
}

TEST(TakeWriteWords, FailedConversionKeepsTheLength)
{
    FakePlc plc;
    auto tag = makeTag(&plc, A | vt::I2, true, MemoryArea::DM, 0, 2);
    PendingRequest pending{
        makeObject<SODaSRequest>(SODaSRequest::write, SODaSRequest::kSyncWrite, tag, Variant::makeArray(vt::I2, 5)), tag.get()};
    std::vector<std::uint16_t> words(5, 0);
    tag->setInBlock(true);
    EXPECT_FALSE(takeWriteWords(pending, std::span<std::uint16_t>(words)));
    EXPECT_EQ(tag->elements(), 2);
    EXPECT_EQ(plc.readds, 0);
    tag->setInBlock(false);
}

} // namespace
