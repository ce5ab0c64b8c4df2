#include "tools/cli/cli_value.h"

#include "server/door_base/door_latin1.h"

#include <gtest/gtest.h>

namespace {

using json = nlohmann::json;

TEST(CliValue, PrintsEachKindAsTheCommandLineShowsIt)
{
    const std::vector<std::pair<json, std::string>> cases = {
        {json(), ""},
        {json(true), "true"},
        {json(false), "false"},
        {json(12), "12"},
        {json(-3), "-3"},
        {json(4294967295u), "4294967295"},
        {json(1.5), "1.5"},
        {json(20.0), "20"},
        {json(0.1f), "0.1"},
        {json(latin1ToUtf8("a\"b\n")), "\"a\\\"b\\n\""},
        {json(latin1ToUtf8(std::string("MIX\0\xe9", 5))), "\"MIX\\000\\351\""},
        {json::array({1, 2, 3}), "[1,2,3]"},
        {json::array({true, false}), "[true,false]"},
        {json::array({"a", "b"}), "[\"a\",\"b\"]"},
        {json::array(), "[]"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(formatCliValue(value), text) << value.dump();
}

TEST(CliValue, ParsesWhatItPrints)
{
    const std::vector<std::string> texts = {"true", "false", "12", "-3", "4294967295", "1.5",
                                            "\"a\\\"b\\n\"", "\"MIX\\000\\351\"", "[1,2,3]",
                                            "[true,false]", "[\"a\",\"b\"]", "[]", "[-1.5,2]"};
    for (const auto& t : texts) {
        std::string why;
        auto v = parseCliValue(t, &why);
        ASSERT_TRUE(v.has_value()) << t << ": " << why;
        EXPECT_EQ(formatCliValue(*v), t);
    }
}

TEST(CliValue, ParsesKindsAndEscapes)
{
    std::string why;
    EXPECT_TRUE(parseCliValue("-5", &why)->is_number_integer());
    EXPECT_TRUE(parseCliValue("7", &why)->is_number_unsigned());
    EXPECT_TRUE(parseCliValue("1e3", &why)->is_number_float());
    EXPECT_EQ(utf8ToLatin1(parseCliValue("\"\\x41\\102\\t\"", &why)->get<std::string>()), "AB\t");
    EXPECT_EQ(*parseCliValue(" [ 1 , 2 ] ", &why), json::array({1, 2}));
}

TEST(CliValue, RefusesTextThatIsNoValue)
{
    for (const std::string t : {"abc", "\"abc", "[1,2", "1.2.3", "0x10", "[[1]]", "", "inf", "\"\\q\"", "1 2"}) {
        std::string why;
        EXPECT_FALSE(parseCliValue(t, &why).has_value()) << t;
        EXPECT_FALSE(why.empty()) << t;
    }
}

TEST(CliValue, QualityAsHex)
{
    EXPECT_EQ(formatQuality(0xC0), "0xC0");
    EXPECT_EQ(formatQuality(0x0C), "0x0C");
    EXPECT_EQ(formatQuality(0x00), "0x00");
}

TEST(DoorLatin1, EveryByteSurvivesTheJsonRoundTrip)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string utf8 = latin1ToUtf8(all);
    EXPECT_EQ(utf8ToLatin1(json::parse(json(utf8).dump()).get<std::string>()), all);
    EXPECT_EQ(utf8ToLatin1("\xe2\x82\xac"), "?"); // the euro sign has no byte
    EXPECT_EQ(utf8ToLatin1("a\xc3"), "a?");        // cut sequence
}

} // namespace

#include "server/door/door_session.h"

namespace {

TEST(DoorValues, JsonBecomesTheNearestVariant)
{
    Variant v;
    std::string why;
    ASSERT_TRUE(jsonToVariant(json(true), 0, &v, &why));
    EXPECT_EQ(v.vartype(), vt::BOOL);
    ASSERT_TRUE(jsonToVariant(json(-5), 0, &v, &why));
    EXPECT_EQ(v.vartype(), vt::I4);
    ASSERT_TRUE(jsonToVariant(json(4000000000u), 0, &v, &why));
    EXPECT_EQ(v.vartype(), vt::UI4);
    ASSERT_TRUE(jsonToVariant(json(latin1ToUtf8("A\xe9")), 0, &v, &why));
    EXPECT_EQ(v.str(), "A\xe9");
    ASSERT_TRUE(jsonToVariant(json::array({1, 2.5}), 0, &v, &why));
    EXPECT_EQ(v.vartype(), vt::ARRAY | vt::R8);
    ASSERT_TRUE(jsonToVariant(json::array(), vt::UI2, &v, &why));
    EXPECT_EQ(v.vartype(), vt::ARRAY | vt::UI2);
    EXPECT_EQ(v.arraySize(), 0u);
}

TEST(DoorValues, RefusesWhatNoItemCanHold)
{
    Variant v;
    for (const json& bad : {json::object(), json(nullptr), json::array({json::array({1})}),
                            json::array({1, "a"}), json::array({true, 1})}) {
        std::string why;
        EXPECT_FALSE(jsonToVariant(bad, 0, &v, &why)) << bad.dump();
        EXPECT_FALSE(why.empty()) << bad.dump();
    }
}

TEST(DoorValues, VariantsTravelAsPlainJson)
{
    EXPECT_EQ(variantToJson(Variant()), json(nullptr));
    EXPECT_EQ(variantToJson(Variant::fromBool(true)), json(true));
    EXPECT_EQ(variantToJson(Variant::fromUI2(65535)), json(65535));
    EXPECT_EQ(variantToJson(Variant::fromI2(-2)), json(-2));
    EXPECT_EQ(variantToJson(Variant::fromR4(1.5f)), json(1.5));
    EXPECT_EQ(variantToJson(Variant::fromString(std::string("\0\xff", 2))), json(latin1ToUtf8(std::string("\0\xff", 2))));
    Variant arr = Variant::makeArray(vt::I1, 2);
    arr.setAt(0, Variant::fromI1(-1));
    EXPECT_EQ(variantToJson(arr), json::array({-1, 0}));
    EXPECT_EQ(datatypeWord(vt::ARRAY | vt::BOOL), "VT_BOOL ARRAY");
    EXPECT_EQ(datatypeWord(vt::EMPTY), "VT_EMPTY");
}

} // namespace
