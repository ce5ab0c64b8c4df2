#include "common/format_vocab.h"

#include <gtest/gtest.h>

TEST(FormatVocabulary, AreaPrefixesMapToTheirCodesExactly)
{
    const std::pair<const char*, MemoryArea> rows[] = {
        {"LR", MemoryArea::LR}, {"HR", MemoryArea::HR}, {"DM", MemoryArea::DM}, {"AR", MemoryArea::AR},
        {"IR", MemoryArea::IR}, {"TC", MemoryArea::TC}, {"TG", MemoryArea::TG}, {"dm", MemoryArea::None},
        {"XX", MemoryArea::None}, {"", MemoryArea::None}, {"DM1", MemoryArea::None},
    };
    for (auto& [prefix, area] : rows)
        EXPECT_EQ(areaFromPrefix(prefix), area) << prefix;
    EXPECT_EQ(static_cast<int>(MemoryArea::TG), 7);
    EXPECT_EQ(areaPrefix(MemoryArea::HR), "HR");
    EXPECT_EQ(areaPrefix(MemoryArea::None), "");
    EXPECT_EQ(kAreaTable.front().prefix, "DM"); // the editor's offering order starts with DM
}

TEST(FormatVocabulary, TypeWordsCompareAsWholeWords)
{
    EXPECT_EQ(vartypeFromTypeWord("VT_BOOL ARRAY"), 0x200B);
    EXPECT_EQ(vartypeFromTypeWord("VT_UI1 ARRAY"), 0x2011);
    EXPECT_EQ(vartypeFromTypeWord("VT_I1 ARRAY"), 0x2010);
    EXPECT_EQ(vartypeFromTypeWord("VT_BSTR"), 0x0008);
    EXPECT_EQ(vartypeFromTypeWord("VT_R4"), 0x0004);
    EXPECT_EQ(vartypeFromTypeWord("VT_BOOL  ARRAY"), 0);
    EXPECT_EQ(vartypeFromTypeWord("vt_i2"), 0);
    EXPECT_EQ(vartypeFromTypeWord("VT_BCD2"), 0);
    EXPECT_EQ(vartypeFromTypeWord("VT_R8"), 0);
    ASSERT_NE(dataTypeByEditorName("BCD 16 bit array"), nullptr);
    EXPECT_EQ(dataTypeByEditorName("BCD 16 bit array")->typeWord, "VT_BCD2 ARRAY");
    EXPECT_FALSE(dataTypeByEditorName("BCD 16 bit array")->editorWrites);
    EXPECT_EQ(dataTypeByVartype(0x2002)->editorName, "signed 16 bit array");
    EXPECT_EQ(dataTypeByVartype(0), nullptr);
    int written = 0;
    for (auto& e : kDataTypeTable)
        written += e.editorWrites;
    EXPECT_EQ(written, 15);
}

TEST(FormatVocabulary, AccessWords)
{
    EXPECT_EQ(accessRightsFromWord("READ"), 1);
    EXPECT_EQ(accessRightsFromWord("WRITE"), 2);
    EXPECT_EQ(accessRightsFromWord("READWRITE"), 3);
    EXPECT_EQ(accessRightsFromWord("read"), 0);
    EXPECT_EQ(accessRightsFromWord("READ WRITE"), 0);
    EXPECT_EQ(accessWord(3), "READWRITE");
    EXPECT_EQ(accessWord(0), "");
}
