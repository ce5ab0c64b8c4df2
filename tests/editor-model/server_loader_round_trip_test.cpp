// Every file the editor writes loads in the server with the same PLCs, item IDs, types,
// addresses, access rights and descriptions.
#include "common/format_vocab.h"
#include "editor/model/text_conv.h"
#include "editor/model/xml_export.h"
#include "model_fixture.h"
#include "tests/config/loader_fixture.h"

namespace {

struct Expected {
    std::string itemId;
    TagView view;
};

class EditorFileInServer : public LoaderTest {
protected:
    EditorDocument doc;
    ScriptedPrompts prompts;
    TempDir dir;
    std::vector<Expected> expected; // in the order the server's name space lists them
    std::vector<PlcView> expectedPlcs;

    void plc(const std::string& name, int unit, const std::string& com)
    {
        auto p = std::make_shared<clsPLC>();
        p->SetByForm(PlcFormFields{name, std::to_string(unit), com, "19200", "1", "8", "ODD"});
        doc.gcolPlcs.add(p->sKey(), p);
        doc.TreeView1.add(doc.TreeView1.root(), name, name, "plc", "plc", "plc");
        expectedPlcs.push_back({name, unit, com});
    }

    void item(const std::string& parentKey, const std::string& name, const std::string& type, const std::string& area,
              int address, int bit, int elements, bool bcd, const std::string& access, const std::string& comment,
              int unit)
    {
        auto it = addItem(doc, parentKey, name, type, address, comment);
        it->sArea = area;
        it->nBitNumber = static_cast<std::int16_t>(bit);
        it->nElements = static_cast<std::int16_t>(elements);
        it->bBcd = bcd;
        it->sAccessRight = access;
        const std::string word = VtFromDataType(type);
        std::string latin1;
        EXPECT_TRUE(toLatin1(comment, latin1));
        expected.push_back({it->sKey,
                            TagView{accessRightsFromWord(access), bcd, vartypeFromTypeWord(word), latin1,
                                    static_cast<std::uint16_t>(address), areaFromPrefix(area),
                                    static_cast<std::uint16_t>(word.find("VT_BOOL") != std::string::npos ? bit : 0),
                                    static_cast<std::uint16_t>(word.find("VT_BSTR") != std::string::npos ||
                                                                       word.find("ARRAY") != std::string::npos
                                                                   ? elements
                                                                   : 0),
                                    unit}});
    }

    void loadWritten()
    {
        const std::string path = dir.file("written.xml");
        ASSERT_TRUE(CreateXML(doc, path, prompts));
        ASSERT_TRUE(prompts.records().empty());
        ASSERT_EQ(loadConfiguration(path, root.get(), &window), 1);
        EXPECT_THAT(boxTexts(), ::testing::IsEmpty());
        EXPECT_EQ(plcs(), expectedPlcs);
        std::vector<std::string> ids;
        for (const auto& e : expected)
            ids.push_back(e.itemId);
        EXPECT_EQ(itemIds(), ids);
        for (const auto& e : expected)
            EXPECT_EQ(tag(e.itemId), e.view) << e.itemId;
    }
};

} // namespace

TEST_F(EditorFileInServer, EveryTypeAreaAndAccessWord)
{
    openEmpty(doc);
    plc("Press", 1, "COM1");
    int n = 0;
    for (const auto& type : kDataTypeTable) {
        if (!type.editorWrites)
            continue;
        const AreaEntry& area = kAreaTable[n % kAreaTable.size()];
        const AccessEntry& access = kAccessTable[n % kAccessTable.size()];
        item("Press", "T" + std::to_string(n), std::string(type.editorName), std::string(area.prefix), 100 + n * 7,
             n % 16, 1 + n, n % 2 == 0, std::string(access.word), "Type " + std::string(type.editorName), 1);
        ++n;
    }
    EXPECT_EQ(n, 15);
    loadWritten();
}

TEST_F(EditorFileInServer, NestedBranchesEscapedTextAndSeveralPlcs)
{
    openEmpty(doc);
    plc("Line <1> & \"A\"", 3, "COM2");
    addBranch(doc, "Line <1> & \"A\"", "Motors");
    addBranch(doc, "Line <1> & \"A\".Motors", "Valves");
    // The name space lists a node's leaves before its branches.
    item("Line <1> & \"A\"", "Direct", "boolean", "IR", 10, 3, 0, false, "READ", "Motor l\xC3\xA4uft", 3);
    item("Line <1> & \"A\".Motors", "M1", "unsigned 16 bit", "DM", 0, 0, 0, true, "READWRITE", "x < y & z > w", 3);
    item("Line <1> & \"A\".Motors.Valves", "Label", "string", "DM", 65535, 0, 20, false, "WRITE",
         "Temp\xC3\xA9rature \xC2\xB0" "C \"quoted\"", 3);
    item("Line <1> & \"A\".Motors.Valves", "Open", "boolean array", "HR", 5, 4, 12, false, "READWRITE", "", 3);
    plc("Empty", 31, "COM12");
    plc("Oven", 2, "COM2");
    item("Oven", "Temp", "32 bit float", "TC", 0, 0, 0, false, "READ", "Oven temperature", 2);
    loadWritten();
}
