#include <gtest/gtest.h>

#include <string>

#include "server/config/config_document.h"
#include "server/config/node_values.h"

namespace {

struct NumberCase {
    const char* text;
    unsigned width;
    NodeNumber read;
    std::uint32_t value; // when Read
};

TEST(NodeValues, NumbersMustBeDecimalAndFitTheirWidth)
{
    const NumberCase cases[] = {
        {"0", 8, NodeNumber::Read, 0},
        {"255", 8, NodeNumber::Read, 255},
        {"256", 8, NodeNumber::Invalid, 0},
        {"65535", 16, NodeNumber::Read, 65535},
        {"65536", 16, NodeNumber::Invalid, 0},
        {"4294967295", 32, NodeNumber::Read, 4294967295u},
        {"4294967296", 32, NodeNumber::Invalid, 0},
        {"99999999999999999999999", 32, NodeNumber::Invalid, 0},
        {"007", 8, NodeNumber::Read, 7},
        {" 12 ", 16, NodeNumber::Read, 12},
        {"\t9600\r\n", 32, NodeNumber::Read, 9600},
        {"+3", 16, NodeNumber::Read, 3},
        {"-1", 16, NodeNumber::Invalid, 0},
        {"one", 16, NodeNumber::Invalid, 0},
        {"7.0", 8, NodeNumber::Invalid, 0},
        {"0x10", 16, NodeNumber::Invalid, 0},
        {"1 2", 16, NodeNumber::Invalid, 0},
        {"+", 16, NodeNumber::Invalid, 0},
        {"  ", 16, NodeNumber::Invalid, 0},
    };
    for (const NumberCase& c : cases) {
        std::uint32_t value = 4242;
        EXPECT_EQ(parseUnsigned(c.text, c.width, value), c.read) << "\"" << c.text << "\"";
        EXPECT_EQ(value, c.read == NodeNumber::Read ? c.value : 4242u) << "\"" << c.text << "\"";
    }
}

class NodeValuesInDocument : public ::testing::Test {
protected:
    pugi::xml_node load(const std::string& text)
    {
        EXPECT_EQ(document.loadBytes(text), DocumentStatus::Loaded) << document.error();
        return document.document().first_child();
    }
    ConfigDocument document;
};

TEST_F(NodeValuesInDocument, TextComesOnlyFromAPresentValueOrAFirstTextChild)
{
    const pugi::xml_node e = load("<e a=\"x\" empty=\"\"><t>v</t><n></n><c><![CDATA[cd]]></c>"
                                  "<m><i/>after</m><s>a<!--x-->b</s></e>");
    std::string out = "keep";
    EXPECT_TRUE(readNodeText(e.attribute("a"), out));
    EXPECT_EQ(out, "x");
    out = "keep";
    EXPECT_FALSE(readNodeText(e.attribute("missing"), out));
    EXPECT_FALSE(readNodeText(e.attribute("empty"), out));
    EXPECT_FALSE(readNodeText(e.child("n"), out));
    EXPECT_FALSE(readNodeText(e.child("m"), out)); // starts with an element
    EXPECT_FALSE(readNodeText(e.child("absent"), out));
    EXPECT_EQ(out, "keep");
    EXPECT_TRUE(readNodeText(e.child("t"), out));
    EXPECT_EQ(out, "v");
    EXPECT_TRUE(readNodeText(e.child("c"), out));
    EXPECT_EQ(out, "cd");
    EXPECT_TRUE(readNodeText(e.child("s"), out)); // the first text node only
    EXPECT_EQ(out, "a");
}

TEST_F(NodeValuesInDocument, NumbersOfAttributesAndChildren)
{
    const pugi::xml_node e = load("<e id=\"300\" bad=\"x\" none=\"\"><b>15</b><w>70000</w><n></n></e>");
    std::uint32_t value = 1;
    EXPECT_EQ(readNodeNumber(e.attribute("id"), 16, value), NodeNumber::Read);
    EXPECT_EQ(value, 300u);
    EXPECT_EQ(readNodeNumber(e.attribute("id"), 8, value), NodeNumber::Invalid);
    EXPECT_EQ(readNodeNumber(e.attribute("bad"), 32, value), NodeNumber::Invalid);
    EXPECT_EQ(readNodeNumber(e.attribute("none"), 32, value), NodeNumber::Absent);
    EXPECT_EQ(readNodeNumber(e.attribute("missing"), 32, value), NodeNumber::Absent);
    EXPECT_EQ(readNodeNumber(e.child("b"), 16, value), NodeNumber::Read);
    EXPECT_EQ(value, 15u);
    EXPECT_EQ(readNodeNumber(e.child("w"), 16, value), NodeNumber::Invalid);
    EXPECT_EQ(readNodeNumber(e.child("n"), 16, value), NodeNumber::Absent);
    EXPECT_EQ(value, 15u);
}

} // namespace
