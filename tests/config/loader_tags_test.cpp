// Tags and branches: odd children, numbers that do not fit, deep nesting.
#include "tests/config/loader_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST_F(LoaderTest, OddTagsAreTakenApartChildByChild)
{
    ASSERT_EQ(load("odd_tags.xml"), 1);
    EXPECT_THAT(boxTexts(), IsEmpty());
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"P", 7, "COM1"}, PlcView{"Q", 8, "COM1"}));
    // Empty tag elements make nothing; a second tags element and a second OPC_DA are read
    // too; elements other than tags under a PLC are not.
    EXPECT_THAT(itemIds(),
                ElementsAre("P.Bare", "P.Zero", "P.Zeros", "P.Hr12", "P.HrOnly", "P.Tail", "P.Lower", "P.Unknown",
                            "P.NoSlash", "P.Bytes", "P.BcdBool", "P.TwoSlashes", "P.Bcd2", "P.Reordered", "P.Spaced",
                            "P.EmptyValues", "P.Cdata", "P.SecondTags", "P.Group.G1", "P.Group.G2",
                            "P.Group.Deep.D2", "P.Group.Deep.Deeper.D", "Q.InSecondDevices"));
    // The two Group elements fill one branch; an empty branch element still makes a branch.
    EXPECT_THAT(branchPaths(),
                ElementsAre("P", "P.Group", "P.Group.Deep", "P.Group.Deep.Deeper", "P.EmptyBranch", "Q"));

    const struct {
        const char* id;
        TagView view;
    } cases[] = {
        {"P.Bare", {0, false, 0x0002, "", 0, MemoryArea::None, 0, 0, 7}},
        {"P.Zero", {0, false, 0x0002, "", 0, MemoryArea::DM, 0, 0, 7}},
        {"P.Zeros", {0, false, 0x0002, "", 0, MemoryArea::DM, 0, 0, 7}},
        {"P.Hr12", {0, false, 0x0002, "", 12, MemoryArea::HR, 0, 0, 7}},
        {"P.HrOnly", {0, false, 0x0002, "", 0, MemoryArea::HR, 0, 0, 7}},
        {"P.Tail", {0, false, 0x0002, "", 12, MemoryArea::DM, 0, 0, 7}},
        {"P.Lower", {0, false, 0x0000, "", 5, MemoryArea::None, 0, 0, 7}},
        {"P.Unknown", {0, false, 0x0000, "", 5, MemoryArea::None, 0, 0, 7}},
        {"P.NoSlash", {1, false, 0x0000, "", 1, MemoryArea::DM, 0, 0, 7}},
        {"P.Bytes", {0, false, 0x2011, "", 0, MemoryArea::None, 0, 6, 7}},
        {"P.BcdBool", {0, true, 0x000B, "", 0, MemoryArea::None, 2, 0, 7}},
        {"P.TwoSlashes", {0, false, 0x0002, "", 0, MemoryArea::None, 0, 0, 7}},
        {"P.Bcd2", {0, false, 0x0000, "", 0, MemoryArea::None, 0, 0, 7}},
        {"P.Reordered", {2, false, 0x0003, "later child wins", 4, MemoryArea::DM, 0, 9, 7}},
        {"P.Spaced", {0, false, 0x200B, "", 0, MemoryArea::None, 5, 3, 7}},
        {"P.EmptyValues", {0, false, 0x0000, "", 0, MemoryArea::None, 0, 0, 7}},
        {"P.Cdata", {0, false, 0x0002, "c", 0, MemoryArea::None, 0, 0, 7}},
        {"Q.InSecondDevices", {0, false, 0x0002, "", 0, MemoryArea::None, 0, 0, 8}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tag(c.id), c.view) << c.id;
}

TEST_F(LoaderTest, NumbersThatAreNotNumbersSkipTheirPlcOrTag)
{
    ASSERT_EQ(load("bad_numbers.xml"), 1);
    // A skipped PLC defines no port either.
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM5", 4294967295u, kEvenParity, kTwoStopBits, 8},
                                     PortView{"COM6", 9600, kEvenParity, kTwoStopBits, 7}));
    // id 300 fits its 16 bits; the unit is its low byte, and that is reported.
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"Good", 5, "COM5"}, PlcView{"WideId", 44, "COM6"}));
    EXPECT_THAT(itemIds(), ElementsAre("Good.Fine"));
    EXPECT_EQ(tag("Good.Fine"), (TagView{0, false, 0x200B, "", 65535, MemoryArea::DM, 65535, 65535, 5}));

    const std::vector<std::string> boxes = boxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    const std::string& text = boxes[0];
    EXPECT_THAT(text, HasSubstr("The configuration file has problems: " + fixturePath("bad_numbers.xml") + "\n"));
    const char* const expected[] = {
        "line 3 (offset 33): PLC \"BadId\": id=\"one\" is not a number from 0 to 65535; it is not loaded\n",
        "line 4 (offset 176): PLC \"NegativeId\": id=\"-1\" is not a number from 0 to 65535; it is not loaded\n",
        "line 5 (offset 292): PLC \"HugeBaud\": baudrate=\"4294967296\" is not a number from 0 to 4294967295; "
        "it is not loaded\n",
        "line 6 (offset 411): PLC \"WideStop\": stopbits=\"256\" is not a number from 0 to 255; it is not loaded\n",
        "line 7 (offset 526): PLC \"FloatData\": databits=\"7.0\" is not a number from 0 to 255; it is not loaded\n",
        "line 10 (offset 763): tag \"BadBit\": databit \"x\" is not a number from 0 to 65535; the tag is not loaded\n",
        "line 11 (offset 854): tag \"WideElements\": elements \"65536\" is not a number from 0 to 65535; the tag is not "
        "loaded\n",
        "line 12 (offset 957): tag \"FarAddress\": channel \"DM65536\" has a word address above 65535; the tag is not "
        "loaded\n",
        "line 16 (offset 1228): PLC \"WideId\": unit number 300 has more than 8 bits; unit 44 is used\n",
    };
    for (const char* line : expected)
        EXPECT_THAT(text, HasSubstr(line));
}

std::string plcWithTags(const std::string& tags)
{
    return "<MOLVOmronHLCfg><OPC_DA><PLC name=\"P\" id=\"1\" com=\"COM1\" baudrate=\"9600\" parity=\"EVEN\" "
           "stopbits=\"2\" databits=\"7\"><tags>\n" +
           tags + "</tags></PLC></OPC_DA></MOLVOmronHLCfg>\n";
}

TEST_F(LoaderTest, ManyProblemsShowInOneBoxWithTheRestCounted)
{
    std::string tags;
    for (int i = 0; i < 25; ++i)
        tags += "<tag><name>T" + std::to_string(i) + "</name><databit>bad</databit></tag>\n";
    tags += "<tag><name>Good</name><databit>1</databit></tag>\n";
    ASSERT_EQ(loadText(plcWithTags(tags)), 1);
    EXPECT_THAT(itemIds(), ElementsAre("P.Good"));
    const std::vector<std::string> boxes = boxTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_THAT(boxes[0], HasSubstr("line 2 (offset 120): tag \"T0\""));
    EXPECT_THAT(boxes[0], HasSubstr("line 21 (offset "));
    EXPECT_THAT(boxes[0], ::testing::Not(HasSubstr("line 22 (offset ")));
    EXPECT_THAT(boxes[0], ::testing::EndsWith("\n... and 5 more\n"));
}

TEST_F(LoaderTest, LongValuesAreCutShortInMessages)
{
    ASSERT_EQ(loadText(plcWithTags("<tag><name>T</name><databit>" + std::string(5000, 'x') + "</databit></tag>")), 1);
    ASSERT_EQ(boxTexts().size(), 1u);
    EXPECT_THAT(boxTexts()[0], HasSubstr("databit \"" + std::string(40, 'x') + "...\" is not a number"));
    EXPECT_LT(boxTexts()[0].size(), 300u);
}

TEST_F(LoaderTest, LaterValidChildMendsAnEarlierBadOne)
{
    ASSERT_EQ(loadText(plcWithTags("<tag><name>T</name><elements>x</elements><elements>4</elements>"
                                   "<channel>DM99999</channel><channel>DM9</channel></tag>")),
              1);
    EXPECT_THAT(boxTexts(), IsEmpty());
    EXPECT_EQ(tag("P.T").elements, 4);
    EXPECT_EQ(tag("P.T").address, 9);
}

TEST_F(LoaderTest, BranchesDeeperThanTheLimitAreReportedAndLeftOut)
{
    std::string open, close;
    for (int i = 0; i < 250; ++i) {
        open += "<B" + std::to_string(i) + ">";
        close = "</B" + std::to_string(i) + ">" + close;
    }
    ASSERT_EQ(loadText(plcWithTags(open + "<tag><name>Bottom</name></tag>" + close +
                                   "<tag><name>Top</name></tag>")),
              1);
    const std::vector<std::string> branches = branchPaths();
    ASSERT_EQ(branches.size(), 201u); // the PLC's branch and 200 levels
    EXPECT_THAT(branches.back(), ::testing::EndsWith(".B198.B199"));
    EXPECT_THAT(itemIds(), ElementsAre("P.Top"));
    ASSERT_EQ(boxTexts().size(), 1u);
    EXPECT_THAT(boxTexts()[0], HasSubstr("branch \"B200\" lies more than 200 branches deep; it is not loaded"));
}

} // namespace
