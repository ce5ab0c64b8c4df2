#include <gtest/gtest.h>

#include <string>

#include "server/config/config_words.h"

namespace {

struct DataTypeCase {
    const char* text;
    std::uint16_t vartype;
    bool bcd;
};

TEST(ConfigWords, DataTypeSplitsAtTheFirstSlash)
{
    const DataTypeCase cases[] = {
        {"VT_I2/BIN", 0x0002, false},
        {"VT_I2/BCD", 0x0002, true},
        {"VT_I2", 0x0000, false},              // no slash: no type, no BCD
        {"VT_UI1 ARRAY/BIN", 0x2011, false},
        {"VT_BOOL/BCD", 0x000B, true},
        {"VT_BOOL ARRAY/BIN", 0x200B, false},
        {"VT_BSTR/BIN", 0x0008, false},
        {"VT_R4 ARRAY/BCD", 0x2004, true},
        {"VT_BCD2/BIN", 0x0000, false},        // read by the editor only
        {"VT_I2/BCD/BIN", 0x0002, false},      // the part after the first slash is "BCD/BIN"
        {"VT_I2/bcd", 0x0002, false},
        {"vt_i2/BCD", 0x0000, true},
        {"VT_BOOL  ARRAY/BIN", 0x0000, false}, // whole words, one space
        {"/BCD", 0x0000, true},
        {"", 0x0000, false},
    };
    for (const DataTypeCase& c : cases) {
        std::uint16_t vartype = 0xFFFF;
        EXPECT_EQ(parseDataType(c.text, vartype), c.bcd) << c.text;
        EXPECT_EQ(vartype, c.vartype) << c.text;
    }
}

TEST(ConfigWords, AccessWordsAreWholeAndCaseSensitive)
{
    EXPECT_EQ(parseAccessRights("READ"), 1);
    EXPECT_EQ(parseAccessRights("WRITE"), 2);
    EXPECT_EQ(parseAccessRights("READWRITE"), 3);
    for (const char* other : {"", "read", "READ ", "WRITEREAD", "ALL", "READWRITEX"})
        EXPECT_EQ(parseAccessRights(other), 0) << other;
}

TEST(ConfigWords, AreaPrefixesGiveTheirCodes)
{
    EXPECT_EQ(parseArea("LR"), MemoryArea::LR);
    EXPECT_EQ(parseArea("HR"), MemoryArea::HR);
    EXPECT_EQ(parseArea("DM"), MemoryArea::DM);
    EXPECT_EQ(parseArea("AR"), MemoryArea::AR);
    EXPECT_EQ(parseArea("IR"), MemoryArea::IR);
    EXPECT_EQ(parseArea("TC"), MemoryArea::TC);
    EXPECT_EQ(parseArea("TG"), MemoryArea::TG);
    for (const char* other : {"", "D", "dm", "XX", "DM1"})
        EXPECT_EQ(parseArea(other), MemoryArea::None) << other;
}

struct ChannelCase {
    const char* text;
    MemoryArea area;
    std::uint16_t address;
};

TEST(ConfigWords, ChannelTakesOnlyTheLeadingDigitsAfterThePrefix)
{
    const ChannelCase cases[] = {
        {"DM100", MemoryArea::DM, 100}, {"DM0", MemoryArea::DM, 0},
        {"DM00000", MemoryArea::DM, 0}, {"HR12", MemoryArea::HR, 12},
        {"HR", MemoryArea::HR, 0},      {"DM12abc", MemoryArea::DM, 12},
        {"DM-5", MemoryArea::DM, 0},    {"DM 5", MemoryArea::DM, 0},
        {"XX5", MemoryArea::None, 5},   {"D", MemoryArea::None, 0},
        {"", MemoryArea::None, 0},      {"TG65535", MemoryArea::TG, 65535},
        {"5DM", MemoryArea::None, 0},
    };
    for (const ChannelCase& c : cases) {
        MemoryArea area = MemoryArea::IR;
        std::uint16_t address = 77;
        EXPECT_EQ(parseChannel(c.text, area, address), ChannelRead::Read) << c.text;
        EXPECT_EQ(area, c.area) << c.text;
        EXPECT_EQ(address, c.address) << c.text;
    }
}

TEST(ConfigWords, ChannelBeyondSixteenBitsIsRefused)
{
    for (const char* text : {"DM65536", "DM99999999999999999999", "HR4294967296"}) {
        MemoryArea area = MemoryArea::None;
        std::uint16_t address = 77;
        EXPECT_EQ(parseChannel(text, area, address), ChannelRead::AddressTooLarge) << text;
        EXPECT_EQ(address, 77) << text;
    }
}

} // namespace
