#include "editor/model/editor_error.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"
#include "model_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Exporting : ::testing::Test {
    EditorDocument doc;
    ScriptedPrompts prompts;
    TempDir dir;
    void SetUp() override { openEmpty(doc); }
};

} // namespace

TEST_F(Exporting, PlcWithoutChildrenGivesNineLines)
{
    addPlc(doc, "PLC1", 3);
    std::string path = dir.file("one.xml");
    ASSERT_TRUE(CreateXML(doc, path, prompts));
    EXPECT_EQ(readFile(path),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
              "<MOLVOmronHLCfg>\r\n"
              "\t<OPC_DA>\r\n"
              "\t\t<PLC name=\"PLC1\" id = \"3\" com=\"COM1\" baudrate = \"9600\" stopbits=\"2\" databits=\"7\" parity=\"EVEN\">\r\n"
              "\t\t\t<tags>\r\n"
              "\t\t\t</tags>\r\n"
              "\t\t</PLC>\r\n"
              "\t</OPC_DA>\r\n"
              "</MOLVOmronHLCfg>\r\n");
    EXPECT_TRUE(prompts.records().empty());
    EXPECT_EQ(prompts.busyCount(), 1);
    EXPECT_EQ(prompts.busyDepth(), 0);
}

TEST_F(Exporting, ItemLevelsFollowTheirDepth)
{
    addPlc(doc, "P");
    addItem(doc, "P", "Direct");
    addBranch(doc, "P", "A");
    addItem(doc, "P.A", "InA");
    addBranch(doc, "P.A", "B");
    addItem(doc, "P.A.B", "InB");
    std::vector<std::string> lines = crlfLines(exportText(doc));
    auto lineOf = [&](const std::string& text) {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos)
                return l;
        return std::string("missing");
    };
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"<name>Direct</name>", "\t\t\t\t\t<name>Direct</name>"},
        {"<A>", "\t\t\t\t<A>"},
        {"<name>InA</name>", "\t\t\t\t\t\t<name>InA</name>"},
        {"<B>", "\t\t\t\t\t<B>"},
        {"<name>InB</name>", "\t\t\t\t\t\t\t<name>InB</name>"},
        {"</B>", "\t\t\t\t\t</B>"},
        {"</A>", "\t\t\t\t</A>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lineOf(c.text), c.expected);
    // Sibling order as the tree shows it: the item written before the branch.
    EXPECT_LT(exportText(doc).find("Direct"), exportText(doc).find("<A>"));
    EXPECT_EQ(lines[5], "\t\t\t\t<tag>");
}

TEST_F(Exporting, SpecialCharactersAreEscapedOnlyWhereNeeded)
{
    auto plc = addPlc(doc, "A\"B&C");
    addItem(doc, plc->sKey(), "Q", "signed 16 bit", 1, "x < y & y > \"z\"");
    std::string text = exportText(doc);
    EXPECT_NE(text.find("name=\"A&quot;B&amp;C\""), std::string::npos);
    EXPECT_NE(text.find("<comment>x &lt; y &amp; y &gt; \"z\"</comment>"), std::string::npos);
    EXPECT_EQ(xmlEscapeText("plain text"), "plain text");
    EXPECT_EQ(xmlEscapeAttribute("a'b"), "a'b");
}

TEST_F(Exporting, Latin1CharactersWrittenAsSingleBytes)
{
    addPlc(doc, "P");
    addItem(doc, "P", "Temp", "signed 16 bit", 1, "Fühler 5°C");
    std::string path = dir.file("latin.xml");
    ASSERT_TRUE(CreateXML(doc, path, prompts));
    EXPECT_NE(readFile(path).find("<comment>F\xFChler 5\xB0""C</comment>"), std::string::npos);
}

TEST_F(Exporting, RefusesWhatTheFileCannotCarryAndNamesTheObject)
{
    struct Case {
        const char* plc;
        const char* branch;
        const char* itemName;
        const char* comment;
        const char* message;
    } cases[] = {
        {"P", nullptr, "T", "\xE2\x82\xAC 5", "The configuration can not be saved: item P.T: Character (\xE2\x82\xAC) can not be written to the configuration file in string \xE2\x82\xAC 5"},
        {"P", "1st", nullptr, nullptr, "The configuration can not be saved: branch P.1st: Character (1) not acceptable at the start of a branch name 1st"},
        {"P", "Two words", nullptr, nullptr, "The configuration can not be saved: branch P.Two words: Character ( ) not acceptable in branch name Two words"},
        {"P", "Tag", nullptr, nullptr, "The configuration can not be saved: branch P.Tag: The name Tag is reserved for items and can not be used for a branch"},
        {"P\x01", nullptr, nullptr, nullptr, "The configuration can not be saved: PLC P\x01: Character (code 1) can not be written to the configuration file in string P\x01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EditorDocument d;
        openEmpty(d);
        addPlc(d, c.plc);
        if (c.branch)
            addBranch(d, c.plc, c.branch);
        if (c.itemName)
            addItem(d, c.plc, c.itemName, "signed 16 bit", 1, c.comment);
        ScriptedPrompts p;
        std::string path = dir.file("refused.xml");
        writeFile(path, "old");
        EXPECT_FALSE(CreateXML(d, path, p));
        EXPECT_EQ(p.messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(readFile(path), "old");
    }
}

TEST_F(Exporting, RefusesSiblingsThatMeetWhenReadBackInUpperCase)
{
    addPlc(doc, "P");
    addBranch(doc, "P", "Motors");
    addItem(doc, "P", "MOTORS");
    EXPECT_FALSE(checkWritable(doc, prompts));
    ASSERT_EQ(prompts.messages().size(), 1u);
    EXPECT_NE(prompts.messages()[0].find("P.Motors"), std::string::npos);

    EditorDocument d;
    openEmpty(d);
    addPlc(d, "P");
    addBranch(d, "P", "Pump");
    addBranch(d, "P", "PUMP");
    ScriptedPrompts p;
    EXPECT_FALSE(checkWritable(d, p));
    EXPECT_EQ(p.messages().size(), 1u);
}

TEST_F(Exporting, ReplacesOldFileOnlyWhenComplete)
{
    addPlc(doc, "P");
    std::string path = dir.file("cfg.xml");
    writeFile(path, "previous");
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(CreateXML(doc, path, prompts));
    EXPECT_NE(readFile(path), "previous");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // An item node without its object: PrintBranch reports it and the old file stays.
    writeFile(path, "previous");
    doc.TreeView1.addChild("P", "P.Ghost", "Ghost", "item", "item", "item");
    EXPECT_FALSE(CreateXML(doc, path, prompts));
    EXPECT_EQ(readFile(path), "previous");
    EXPECT_EQ(prompts.messages().back(), " Error n. 5  Invalid procedure call or argument in PrintBranch");

    // No temporary files left behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(Exporting, UnwritableFolderReportedInCreateXML)
{
    addPlc(doc, "P");
    EXPECT_FALSE(CreateXML(doc, dir.file("missing/sub/cfg.xml"), prompts));
    ASSERT_EQ(prompts.messages().size(), 1u);
    EXPECT_EQ(prompts.messages()[0].rfind(" Error n. 75  Path/File access error (", 0), 0u);
    EXPECT_NE(prompts.messages()[0].find(" in CreateXML"), std::string::npos);
    EXPECT_EQ(prompts.busyDepth(), 0);
}

TEST_F(Exporting, PlcWithoutTreeNodeEndsTheExport)
{
    auto plc = std::make_shared<clsPLC>();
    plc->SetByForm(PlcFormFields{"Lost", "1", "COM1", "9600", "1", "8", "NO"});
    doc.gcolPlcs.add("Lost", plc);
    std::string path = dir.file("lost.xml");
    EXPECT_FALSE(CreateXML(doc, path, prompts));
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{" Error n. 35601  Element not found in CreateXML"});
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(TabIndent, CountsTabs)
{
    EXPECT_EQ(TabIndent(0), "");
    EXPECT_EQ(TabIndent(3), "\t\t\t");
    EXPECT_EQ(TabIndent(-1), "");
}
