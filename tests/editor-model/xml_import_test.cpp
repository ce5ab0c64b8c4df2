#include "editor/model/editor_error.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"
#include "model_fixture.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace {

const std::string kHead = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";

std::string plcFile(const std::string& tags, const std::string& plcAttrs =
                                                  "name=\"PLC1\" id = \"1\" com=\"COM1\" baudrate = \"9600\" "
                                                  "stopbits=\"2\" databits=\"7\" parity=\"EVEN\"")
{
    return kHead + "<MOLVOmronHLCfg><OPC_DA><PLC " + plcAttrs + "><tags>" + tags + "</tags></PLC></OPC_DA></MOLVOmronHLCfg>";
}

std::string tag(const std::string& name, const std::string& type = "VT_I2/BIN", const std::string& extra = "")
{
    return "<tag><name>" + name + "</name><comment>c " + name + "</comment><channel>DM10</channel><datatype>" + type +
           "</datatype><accessrights>READ</accessrights>" + extra + "</tag>";
}

struct Importing : ::testing::Test {
    EditorDocument doc;
    ScriptedPrompts prompts;
    TempDir dir;
    std::vector<int> progress;
    void SetUp() override { openEmpty(doc); }
    bool import(const std::string& text)
    {
        return ImportXMLText(doc, text, prompts, [this](int p) { progress.push_back(p); });
    }
};

} // namespace

TEST_F(Importing, BranchNamesComeBackUpperCase)
{
    addPlc(doc, "PLC1");
    addBranch(doc, "PLC1", "Motors");
    addItem(doc, "PLC1.Motors", "Pump", "boolean", 3, "Main Pump");
    std::string text = exportText(doc);

    EditorDocument back;
    openEmpty(back);
    ASSERT_TRUE(ImportXMLText(back, text, prompts));
    ASSERT_NE(back.TreeView1.find("PLC1.MOTORS"), nullptr);
    EXPECT_EQ(back.TreeView1.find("PLC1.MOTORS")->text(), "MOTORS");
    EXPECT_EQ(back.gcolBranches.item("PLC1.MOTORS")->sName, "MOTORS");
    auto item = back.gcolItems.item("PLC1.MOTORS.Pump");
    EXPECT_EQ(item->sName, "Pump");
    EXPECT_EQ(item->sComment, "Main Pump");
    EXPECT_EQ(back.TreeView1.find("PLC1.MOTORS.Pump")->tag(), "item");
    EXPECT_TRUE(prompts.records().empty());
}

TEST_F(Importing, Bcd2TypeReadAndWrittenBack)
{
    ASSERT_TRUE(import(plcFile(tag("B2", "VT_BCD2/BIN") + tag("B4", "VT_BCD4 ARRAY/BCD", "<elements>4</elements>"))));
    auto b2 = doc.gcolItems.item("PLC1.B2");
    EXPECT_EQ(b2->sDataType, "BCD 16 bit");
    EXPECT_FALSE(b2->bBcd);
    auto b4 = doc.gcolItems.item("PLC1.B4");
    EXPECT_EQ(b4->sDataType, "BCD 32 bit array");
    EXPECT_TRUE(b4->bBcd);
    EXPECT_EQ(b4->nElements, 4);
    std::string text = exportText(doc);
    EXPECT_NE(text.find("<datatype>/BIN</datatype>"), std::string::npos);
    EXPECT_NE(text.find("<datatype>/BCD</datatype>"), std::string::npos);
}

TEST_F(Importing, DuplicateSiblingBranchReportedAndSkipped)
{
    ASSERT_TRUE(import(plcFile("<Oven>" + tag("T1") + "</Oven><OVEN>" + tag("T2") + "</OVEN>" + tag("T3"))));
    EXPECT_EQ(prompts.messages(),
              std::vector<std::string>{" Error n. 457  This key is already associated with an element of this "
                                       "collection in BrowseBranch"});
    EXPECT_NE(doc.gcolItems.find("PLC1.OVEN.T1"), nullptr);
    EXPECT_EQ(doc.gcolItems.find("PLC1.OVEN.T2"), nullptr);
    EXPECT_NE(doc.gcolItems.find("PLC1.T3"), nullptr);
    EXPECT_EQ(doc.TreeView1.find("PLC1.OVEN")->children().size(), 1u);
}

TEST_F(Importing, ErrorsSkipOnlyTheirPart)
{
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> messages;
        std::vector<std::string> items;
        std::size_t plcs;
    } cases[] = {
        {"missing comment",
         plcFile("<tag><name>A</name><channel>DM1</channel><datatype>VT_I2/BIN</datatype><accessrights>READ</accessrights></tag>" +
                 tag("B")),
         {" Error n. 91  Object variable or With block variable not set in BrowseBranch"},
         {"PLC1.B"},
         1},
        {"bit number overflow", plcFile(tag("A", "VT_BOOL/BIN", "<databit>40000</databit>") + tag("B")),
         {" Error n. 6  Overflow in BrowseBranch"},
         {"PLC1.B"},
         1},
        {"duplicate item key keeps the first", plcFile(tag("A") + tag("A")),
         {" Error n. 457  This key is already associated with an element of this collection in BrowseBranch"},
         {"PLC1.A"},
         1},
        {"short datatype", plcFile(tag("A", "VT") + tag("B")),
         {" Error n. 5  Invalid procedure call or argument in BrowseBranch"},
         {"PLC1.B"},
         1},
        {"PLC id overflow",
         kHead + "<R><OPC_DA><PLC name=\"A\" id=\"99999\"><tags>" + tag("X") + "</tags></PLC><PLC name=\"B\" id=\"2\"><tags>" +
             tag("Y") + "</tags></PLC></OPC_DA></R>",
         {" Error n. 6  Overflow in BrowsePlc"},
         {"B.Y"},
         1},
        {"duplicate PLC",
         kHead + "<R><OPC_DA><PLC name=\"A\" id=\"1\"><tags>" + tag("X") + "</tags></PLC><PLC name=\"A\" id=\"2\"><tags>" +
             tag("Y") + "</tags></PLC></OPC_DA></R>",
         {" Error n. 457  This key is already associated with an element of this collection in BrowsePlc"},
         {"A.X"},
         1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        EditorDocument d;
        openEmpty(d);
        ScriptedPrompts p;
        EXPECT_TRUE(ImportXMLText(d, c.text, p));
        EXPECT_EQ(p.messages(), c.messages);
        std::vector<std::string> keys;
        for (const auto& e : d.gcolItems)
            keys.push_back(e.key);
        EXPECT_EQ(keys, c.items);
        EXPECT_EQ(d.gcolPlcs.count(), c.plcs);
    }
}

TEST_F(Importing, AnyRootNameAndSettingsIgnored)
{
    ASSERT_TRUE(import(kHead + "<Other><SETTINGS com=\"COM4\"/><opc_da><plc name=\"Z\" id=\"4\" com=\"COM2\" baudrate=\"19200\" "
                               "stopbits=\"1\" databits=\"8\" parity=\"NO\"><TAGS>" +
                       tag("t") + "</TAGS></plc></opc_da><!-- note --></Other>"));
    ASSERT_EQ(doc.gcolPlcs.count(), 1u);
    auto plc = doc.gcolPlcs.item("Z");
    EXPECT_EQ(plc->nID, 4);
    EXPECT_EQ(plc->sCom, "COM2");
    EXPECT_EQ(plc->nBaud, 19200);
    EXPECT_NE(doc.gcolItems.find("Z.t"), nullptr);
    EXPECT_EQ(doc.TreeView1.root()->children().front()->tag(), "plc");
}

TEST_F(Importing, ProgressOncePerItemWrappingAfter99)
{
    std::string tags;
    for (int i = 0; i < 102; ++i)
        tags += tag("T" + std::to_string(i));
    ASSERT_TRUE(import(plcFile("<A>" + tags + "</A>")));
    ASSERT_EQ(progress.size(), 102u);
    EXPECT_EQ(progress[0], 1);
    EXPECT_EQ(progress[98], 99);
    EXPECT_EQ(progress[99], 0);
    EXPECT_EQ(progress[101], 2);
}

TEST_F(Importing, UnreadableFilesReportedInImportXML)
{
    struct Case {
        const char* what;
        std::string path;
        std::string content;
        const char* prefix;
    } cases[] = {
        {"missing", dir.file("none.xml"), "", " Error n. 53  File not found: "},
        {"not well-formed", dir.file("bad.xml"), "<a><b></a>", " Error n. -2147467259  The file is not well-formed XML: "},
        {"no root", dir.file("empty.xml"), kHead, " Error n. -2147467259  The file has no root element in ImportXML"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.content.empty())
            writeFile(c.path, c.content);
        ScriptedPrompts p;
        EXPECT_FALSE(ImportXML(doc, c.path, p));
        ASSERT_EQ(p.messages().size(), 1u);
        EXPECT_EQ(p.messages()[0].rfind(c.prefix, 0), 0u) << p.messages()[0];
        EXPECT_EQ(p.busyDepth(), 0);
    }
}

TEST_F(Importing, EscapedAndLatin1TextRoundTrips)
{
    auto plc = addPlc(doc, "Line <1> & \"2\"");
    addItem(doc, plc->sKey(), "Valve", "signed 16 bit", 5, "a<b & c>d \xC3\xA9t\xC3\xA9");
    std::string path = dir.file("esc.xml");
    ASSERT_TRUE(CreateXML(doc, path, prompts));
    EditorDocument back;
    openEmpty(back);
    ASSERT_TRUE(ImportXML(back, path, prompts));
    EXPECT_TRUE(prompts.records().empty());
    ASSERT_NE(back.gcolPlcs.find("Line <1> & \"2\""), nullptr);
    EXPECT_EQ(back.gcolItems.item("Line <1> & \"2\".Valve")->sComment, "a<b & c>d \xC3\xA9t\xC3\xA9");
    // Exporting what was read gives the same bytes again.
    std::string again = dir.file("again.xml");
    ASSERT_TRUE(CreateXML(back, again, prompts));
    EXPECT_EQ(readFile(again), readFile(path));
}

TEST_F(Importing, OpenSetsCountersAndFlags)
{
    std::string path = dir.file("open.xml");
    writeFile(path, plcFile("<A>" + tag("X") + tag("Y") + "</A>"));
    EditorDocument d;
    ASSERT_TRUE(openConfigurationFile(d, path, prompts));
    EXPECT_TRUE(d.gbCfgOpen);
    EXPECT_TRUE(d.gbCfgSaved);
    EXPECT_EQ(d.gnItemCount, 3);
    EXPECT_EQ(d.gnBranchCount, 2);
    EXPECT_EQ(d.gnPlcCount, 2);
    EXPECT_EQ(d.TreeView1.root()->text(), path);
    EXPECT_EQ(d.TreeView1.root()->tag(), "config");

    EditorDocument failed;
    EXPECT_FALSE(openConfigurationFile(failed, dir.file("nothing.xml"), prompts));
    EXPECT_FALSE(failed.gbCfgOpen);
}

TEST(XmlBranchPath, NamesBetweenTagsAndElement)
{
    pugi::xml_document d;
    ASSERT_TRUE(d.load_string("<PLC><tags><a><B><tag/></B></a></tags></PLC>"));
    pugi::xml_node tags = d.child("PLC").child("tags");
    EXPECT_EQ(XmlBranchPath(tags), "");
    EXPECT_EQ(XmlBranchPath(tags.child("a")), "A.");
    EXPECT_EQ(XmlBranchPath(tags.child("a").child("B")), "A.B.");
}
