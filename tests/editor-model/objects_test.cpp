#include "editor/model/cls_item.h"
#include "editor/model/cls_plc.h"
#include "editor/model/editor_error.h"
#include "editor/model/text_conv.h"
#include "model_fixture.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace {

clsItem item(const std::string& type, int address = 100, int bit = 0, int elements = 0)
{
    clsItem it;
    it.sName = "T";
    it.sComment = "c";
    it.sDataType = type;
    it.sArea = "DM";
    it.nAddress = address;
    it.nBitNumber = static_cast<std::int16_t>(bit);
    it.nElements = static_cast<std::int16_t>(elements);
    it.sAccessRight = "READ";
    it.sKey = "P1.T";
    return it;
}

pugi::xml_node parsed(pugi::xml_document& doc, const std::string& text)
{
    EXPECT_TRUE(doc.load_string(text.c_str()));
    return doc.document_element();
}

} // namespace

TEST(EditorObjects, NewObjectsAreEmpty)
{
    clsItem it;
    EXPECT_EQ(it.sName, "");
    EXPECT_EQ(it.nAddress, 0);
    EXPECT_FALSE(it.bBcd);
    clsPLC plc;
    EXPECT_EQ(plc.sKey(), "");
    EXPECT_EQ(plc.nBaud, 0);
}

TEST(EditorObjects, ItemXmlWritesOptionalChildrenByType)
{
    struct Case {
        const char* type;
        bool databit;
        bool elements;
        const char* word;
    } cases[] = {
        {"string", false, true, "VT_BSTR"},
        {"boolean", true, false, "VT_BOOL"},
        {"boolean array", true, true, "VT_BOOL ARRAY"},
        {"signed 16 bit", false, false, "VT_I2"},
        {"32 bit float array", false, true, "VT_R4 ARRAY"},
        {"BCD 16 bit", false, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        std::string xml = item(c.type, 100, 5, 20).GetXmlTag(4);
        EXPECT_EQ(xml.find("<databit>5</databit>") != std::string::npos, c.databit);
        EXPECT_EQ(xml.find("<elements>20</elements>") != std::string::npos, c.elements);
        EXPECT_NE(xml.find(std::string("<datatype>") + c.word + "/BIN</datatype>"), std::string::npos);
    }
}

TEST(EditorObjects, ItemXmlIsExactText)
{
    clsItem it = item("boolean array", 12, 3, 10);
    it.bBcd = true;
    EXPECT_EQ(it.GetXmlTag(4), "\t\t\t\t<tag>\r\n"
                               "\t\t\t\t\t<name>T</name>\r\n"
                               "\t\t\t\t\t<comment>c</comment>\r\n"
                               "\t\t\t\t\t<channel>DM12</channel>\r\n"
                               "\t\t\t\t\t<datatype>VT_BOOL ARRAY/BCD</datatype>\r\n"
                               "\t\t\t\t\t<accessrights>READ</accessrights>\r\n"
                               "\t\t\t\t\t<databit>3</databit>\r\n"
                               "\t\t\t\t\t<elements>10</elements>\r\n"
                               "\t\t\t\t</tag>");
}

TEST(EditorObjects, PlcTagHasSpacesAroundIdAndBaudrateOnly)
{
    clsPLC plc;
    plc.SetByForm(PlcFormFields{"PLC1", "7", "COM3", "19200", "1", "8", "NO"});
    EXPECT_EQ(plc.sKey(), "PLC1");
    EXPECT_EQ(plc.GetXmlTag(),
              "\t\t<PLC name=\"PLC1\" id = \"7\" com=\"COM3\" baudrate = \"19200\" stopbits=\"1\" databits=\"8\" parity=\"NO\">");
    ListRow row = plc.AddToListView();
    EXPECT_EQ(row.key, "PLC1");
    EXPECT_EQ(row.texts, (std::vector<std::string>{"PLC1", "7"}));
    EXPECT_EQ(row.largePicture, "plc");
    EXPECT_EQ(row.smallPicture, "plc");
}

TEST(EditorObjects, ItemListRowColumns)
{
    struct Case {
        const char* type;
        int address, bit, elements;
        bool index;
        std::vector<std::string> texts;
        const char* picture;
    } cases[] = {
        {"boolean", 100, 5, 0, true, {"T", "c", "boolean", "0100/BIT05", "READ", "DM010005"}, "boolean"},
        {"signed 16 bit array", 12, 0, 10, false, {"T", "c", "signed 16 bit array", "0012/LEN10", "READ"}, "signed 16 bit"},
        {"string", 7, 0, 20, false, {"T", "c", "string", "0007/LEN20", "READ"}, "string"},
        {"boolean array", 1, 15, 4, false, {"T", "c", "boolean array", "0001/BIT15/LEN4", "READ"}, "boolean"},
        {"unsigned 32 bit", 65535, 0, 0, true, {"T", "c", "unsigned 32 bit", "65535", "READ", "DM6553500"}, "unsigned 32 bit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ListRow row = item(c.type, c.address, c.bit, c.elements).AddToListView(c.index);
        EXPECT_EQ(row.key, "P1.T");
        EXPECT_EQ(row.texts, c.texts);
        EXPECT_EQ(row.largePicture, c.picture);
        EXPECT_EQ(row.smallPicture, "item");
    }
}

TEST(EditorObjects, ParentKeys)
{
    EXPECT_EQ(parentKeyOf("PLC1"), "");
    EXPECT_EQ(parentKeyOf("P1.A.B"), "P1.A");
    clsBranch b;
    b.sKey = "P1.A";
    EXPECT_EQ(b.getParentKey(), "P1");
    clsItem it = item("boolean");
    EXPECT_EQ(it.getParentKey(), "P1");
}

TEST(EditorObjects, TypeNamesBothWays)
{
    EXPECT_EQ(VtFromDataType("signed 8 bit array"), "VT_I1 ARRAY");
    EXPECT_EQ(VtFromDataType("BCD 16 bit"), "");
    EXPECT_EQ(VtFromDataType("Signed 16 bit"), "");
    EXPECT_EQ(DataTypeFromVt("VT_BCD2"), "BCD 16 bit");
    EXPECT_EQ(DataTypeFromVt("VT_BCD4 ARRAY"), "BCD 32 bit array");
    EXPECT_EQ(DataTypeFromVt("VT_I2  ARRAY"), "");
    EXPECT_EQ(DataTypeFromVt("vt_i2"), "");
}

TEST(EditorObjects, CopyIntoOwnParentAddsPasteCount)
{
    clsItem source = item("boolean", 100, 5);
    clsItem same;
    same.SetByCopy(source, "P1", 3);
    EXPECT_EQ(same.sName, "T_3");
    EXPECT_EQ(same.sKey, "P1.T_3");
    EXPECT_EQ(same.nBitNumber, 5);
    EXPECT_EQ(same.sComment, "c");
    clsItem elsewhere;
    elsewhere.SetByCopy(source, "P1.B", 3);
    EXPECT_EQ(elsewhere.sName, "T");
    EXPECT_EQ(elsewhere.sKey, "P1.B.T");
}

TEST(EditorObjects, PlcFromXmlReadsLeadingNumbers)
{
    pugi::xml_document d;
    clsPLC plc;
    plc.SetByXml(parsed(d, R"(<PLC name="A" id = "12x" com="COM2" baudrate = "abc" stopbits="2" databits=" 7" parity="ODD"/>)"));
    EXPECT_EQ(plc.sName, "A");
    EXPECT_EQ(plc.sKey(), "A");
    EXPECT_EQ(plc.nID, 12);
    EXPECT_EQ(plc.nBaud, 0);
    EXPECT_EQ(plc.nStopBits, 2);
    EXPECT_EQ(plc.nDataBits, 7);
    EXPECT_EQ(plc.sParity, "ODD");
}

TEST(EditorObjects, NumbersTooLargeForTheirFieldRaiseOverflow)
{
    const char* cases[] = {
        R"(<PLC name="A" id="32768" baudrate="9600" stopbits="1" databits="8"/>)",
        R"(<PLC name="A" id="1" baudrate="9600" stopbits="256" databits="8"/>)",
        R"(<PLC name="A" id="1" baudrate="9600" stopbits="1" databits="-1"/>)",
        R"(<PLC name="A" id="1" baudrate="99999999999" stopbits="1" databits="8"/>)",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        pugi::xml_document d;
        clsPLC plc;
        try {
            plc.SetByXml(parsed(d, text));
            ADD_FAILURE() << "no error";
        } catch (const EditorError& e) {
            EXPECT_EQ(e.number, editor_err::kOverflow);
        }
    }
}

TEST(EditorObjects, NumericValueOfText)
{
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"123", 123}, {" 1 2 3abc", 123}, {"-5", -5}, {"abc", 0}, {"", 0}, {"1.5", 1.5},
        {"1e3", 1000}, {"1e", 1}, {"&H10", 16}, {"&HFFFF", -1}, {"&O17", 15}, {"00012", 12},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(numericValue(c.text), c.value) << c.text;
    EXPECT_EQ(toInt16(2.5), 2);
    EXPECT_EQ(toInt16(3.5), 4);
}

TEST(EditorObjects, ItemFromXml)
{
    pugi::xml_document d;
    clsItem it;
    it.nElements = 9;
    it.SetByXml(parsed(d, "<tags><A><B><tag><NAME>Valve</NAME><comment>Open</comment><channel>HR0012</channel>"
                          "<datatype>VT_BCD2/BIN</datatype><accessrights>READ</accessrights></tag></B></A></tags>")
                    .child("A")
                    .child("B")
                    .child("tag"),
                "P1");
    EXPECT_EQ(it.sName, "Valve");
    EXPECT_EQ(it.sComment, "Open");
    EXPECT_EQ(it.sArea, "HR");
    EXPECT_EQ(it.nAddress, 12);
    EXPECT_EQ(it.sDataType, "BCD 16 bit");
    EXPECT_FALSE(it.bBcd);
    EXPECT_EQ(it.nBitNumber, 0);
    EXPECT_EQ(it.nElements, 9); // no elements child: unchanged
    EXPECT_EQ(it.sKey, "P1.A.B.Valve");
    EXPECT_NE(it.GetXmlTag(6).find("<datatype>/BIN</datatype>"), std::string::npos);
}

TEST(EditorObjects, ItemFromXmlMissingRequiredChildRaises)
{
    const char* children[] = {"name", "comment", "channel", "datatype", "accessrights"};
    for (const char* missing : children) {
        std::string text = "<tag>";
        for (const char* c : children)
            if (std::string(c) != missing)
                text += std::string("<") + c + ">" + (std::string(c) == "datatype" ? "VT_I2/BIN" : "x") + "</" + c + ">";
        text += "</tag>";
        pugi::xml_document d;
        clsItem it;
        EXPECT_THROW(it.SetByXml(parsed(d, text), "P"), EditorError) << missing;
    }
}

TEST(EditorObjects, ItemFromFormKeysFromSelectedNode)
{
    EditorDocument doc;
    openEmpty(doc);
    addPlc(doc, "P1");
    addBranch(doc, "P1", "A");
    auto existing = addItem(doc, "P1.A", "X");
    ItemFormFields f{"Y", "cm", "boolean", "99", "42", "DM", "7", true, "WRITE"};

    doc.TreeView1.setSelectedItem(doc.TreeView1.find("P1.A"));
    clsItem added;
    added.SetByForm(f, doc.TreeView1, false);
    EXPECT_EQ(added.sKey, "P1.A.Y");
    EXPECT_EQ(added.nBitNumber, 7);
    EXPECT_EQ(added.nElements, 0); // not an array: left as it was
    EXPECT_TRUE(added.bBcd);

    doc.TreeView1.setSelectedItem(doc.TreeView1.find("P1.A.X"));
    clsItem modified;
    f.cmbDataType = "unsigned 16 bit array";
    modified.SetByForm(f, doc.TreeView1, true);
    EXPECT_EQ(modified.sKey, "P1.A.Y");
    EXPECT_EQ(modified.nBitNumber, 0);
    EXPECT_EQ(modified.nElements, 99);
}
