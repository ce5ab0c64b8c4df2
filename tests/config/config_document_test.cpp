#include <gtest/gtest.h>

#include <string>

#include "server/config/config_document.h"
#include "server/config/node_values.h"

namespace {

std::string allHighBytes()
{
    std::string bytes;
    for (int c = 0x80; c <= 0xFF; ++c)
        bytes.push_back(static_cast<char>(c));
    return bytes;
}

TEST(ConfigDocument, EveryHighByteSurvivesInNamesAttributesAndText)
{
    const std::string high = allHighBytes();
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"" + high + "\"><x" + high +
                             ">" + high + "</x" + high + "></r>";
    ConfigDocument document;
    ASSERT_EQ(document.loadBytes(text), DocumentStatus::Loaded) << document.error();
    const pugi::xml_node r = document.document().child("r");
    std::string value;
    ASSERT_TRUE(readNodeText(r.attribute("a"), value));
    EXPECT_EQ(value, high);
    const pugi::xml_node x = r.first_child();
    EXPECT_EQ(narrowText(x.name()), "x" + high);
    ASSERT_TRUE(readNodeText(x, value));
    EXPECT_EQ(value, high);
}

TEST(ConfigDocument, ReferencesDecodeToSingleBytes)
{
    ConfigDocument document;
    ASSERT_EQ(document.loadBytes("<r>&amp;&lt;&gt;&quot;&apos;&#233;&#xFF;&#8364;&#x41;</r>"),
              DocumentStatus::Loaded);
    std::string value;
    ASSERT_TRUE(readNodeText(document.document().child("r"), value));
    // A character beyond Latin-1 has no byte of its own.
    EXPECT_EQ(value, "&<>\"'\xE9\xFF?A");
}

TEST(ConfigDocument, ParseErrorsGiveTheOffsetInTheFile)
{
    ConfigDocument document;
    // Two wide bytes before the fault: the offset counts file bytes, not parsed ones.
    EXPECT_EQ(document.loadBytes("<r a=\"\xE9\xE9\"><x</r>"), DocumentStatus::Malformed);
    EXPECT_NE(document.error().find(" at offset 13"), std::string::npos) << document.error();
    EXPECT_FALSE(document.document().first_child());

    EXPECT_EQ(document.loadBytes(""), DocumentStatus::Malformed);
    EXPECT_EQ(document.error(), "No document element found at offset 0");
}

TEST(ConfigDocument, NodesKnowTheirLineAndOffset)
{
    ConfigDocument document;
    ASSERT_EQ(document.loadBytes("<r>\r\n\t<a n=\"\xE9\"/>\r\n\t<b/>\r\n</r>"), DocumentStatus::Loaded);
    const pugi::xml_node b = document.document().child("r").child("b");
    const std::size_t offset = document.fileOffset(b);
    EXPECT_EQ(offset, 20u); // the name of <b/>, just after "<"
    EXPECT_EQ(document.fileLine(offset), 3u);
    EXPECT_EQ(document.fileLine(0), 1u);
}

TEST(ConfigDocument, MissingFileIsUnreadable)
{
    ConfigDocument document;
    EXPECT_EQ(document.load("/nonexistent/dir/config.xml"), DocumentStatus::Unreadable);
    EXPECT_EQ(document.error(), "No such file or directory");
    EXPECT_EQ(document.load(""), DocumentStatus::Unreadable);
}

} // namespace
