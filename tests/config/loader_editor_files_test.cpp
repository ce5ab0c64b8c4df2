// Files as the editor writes them: declaration, TAB indents, CR LF, " id = " and " baudrate = ".
#include "tests/config/loader_fixture.h"

namespace {

using ::testing::ElementsAre;

TEST_F(LoaderTest, EditorPlantGivesPortsPlcsAndItems)
{
    EXPECT_EQ(load("editor_plant.xml"), 1);
    EXPECT_THAT(boxTexts(), ::testing::IsEmpty());

    // Oven names COM1 again with other settings: the first definition stays.
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM1", 9600, kEvenParity, kTwoStopBits, 7},
                                     PortView{"COM2", 115200, kOddParity, kOneStopBit, 8}));
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"Press", 1, "COM1"}, PlcView{"Oven", 2, "COM1"},
                                    PlcView{"Spare", 31, "COM2"}));
    EXPECT_EQ(plcList()->findByUnit(31)->name(), "Spare");

    EXPECT_THAT(itemIds(), ElementsAre("Press.Speed", "Press.Bytes", "Press.Timer", "Press.Flags",
                                       "Press.Line1.Running", "Press.Line1.Counter",
                                       "Press.Line1.Valves.Open", "Press.Line1.Valves.Label", "Oven.Temp",
                                       "Oven.Setpoint"));
    // A PLC with an empty tags element still gets its branch.
    EXPECT_THAT(branchPaths(), ElementsAre("Press", "Press.Line1", "Press.Line1.Valves", "Oven", "Spare"));
}

TEST_F(LoaderTest, EditorPlantTagsCarryTheirValues)
{
    ASSERT_EQ(load("editor_plant.xml"), 1);
    const struct {
        const char* id;
        TagView view;
    } cases[] = {
        {"Press.Speed", {3, false, 0x0012, "Geschwindigkeit m/min", 100, MemoryArea::DM, 0, 0, 1}},
        {"Press.Line1.Running", {1, false, 0x000B, "Motor l\xE4uft", 10, MemoryArea::IR, 3, 0, 1}},
        {"Press.Line1.Valves.Open", {3, false, 0x200B, "", 5, MemoryArea::HR, 4, 12, 1}},
        {"Press.Line1.Valves.Label", {2, false, 0x0008, "Temp\xE9rature \xB0" "C", 200, MemoryArea::DM, 0, 20, 1}},
        {"Press.Line1.Counter", {1, true, 0x0002, "BCD counter", 7, MemoryArea::LR, 0, 0, 1}},
        {"Press.Bytes", {1, false, 0x2011, "Bytes", 3, MemoryArea::AR, 0, 8, 1}},
        {"Press.Timer", {1, true, 0x0013, "Timer value", 12, MemoryArea::TC, 0, 0, 1}},
        {"Press.Flags", {1, false, 0x0003, "TG flags", 0, MemoryArea::TG, 0, 0, 1}},
        {"Oven.Temp", {1, false, 0x0004, "Oven temperature", 0, MemoryArea::DM, 0, 0, 2}},
        {"Oven.Setpoint", {3, false, 0x2004, "Setpoint", 2, MemoryArea::DM, 0, 4, 2}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tag(c.id), c.view) << c.id;
}

TEST_F(LoaderTest, PlcsOfOneNameShareOneBranchAndMergeTheirBranches)
{
    ASSERT_EQ(load("editor_same_plc_name.xml"), 1);
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"Line", 3, "COM3"}, PlcView{"Line", 4, "COM3"}));
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM3", 9600, kEvenParity, kTwoStopBits, 7}));
    EXPECT_THAT(branchPaths(), ElementsAre("Line", "Line.Motors"));
    EXPECT_THAT(itemIds(), ElementsAre("Line.Alarm", "Line.Motors.M1", "Line.Motors.M2"));
    // Each tag still belongs to the PLC whose element held it.
    EXPECT_EQ(tag("Line.Motors.M1").ownerUnit, 3);
    EXPECT_EQ(tag("Line.Motors.M2").ownerUnit, 4);
    EXPECT_EQ(tag("Line.Alarm"), (TagView{1, false, 0x000B, "second unit alarm", 0, MemoryArea::HR, 15, 0, 4}));
}

TEST_F(LoaderTest, EscapedCharactersDecodeInNamesAndComments)
{
    ASSERT_EQ(load("editor_escapes.xml"), 1);
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"R&D", 6, "COM5"}));
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM5", 38400, kOddParity, kOneStopBit, 7}));
    EXPECT_EQ(tag("R&D.Level").description, "Level <max> & \"min\"");
}

TEST_F(LoaderTest, LatinOneBytesStayAsTheyAreWhateverTheDeclaration)
{
    ASSERT_EQ(load("latin1_without_declaration.xml"), 1);
    EXPECT_THAT(itemIds(), ElementsAre("Presse\xE9.K\xFChlung.Temp\xB0"));
    EXPECT_EQ(tag("Presse\xE9.K\xFChlung.Temp\xB0").description, "\xC4\xD6\xDC \xE4\xF6\xFC \xDF \xFF\x80");
    EXPECT_EQ(plcs().at(0).name, "Presse\xE9");

    TearDown();
    SetUp();
    // Declared UTF-8, written in single bytes; references beyond Latin-1 become "?".
    ASSERT_EQ(load("latin1_declared_utf8.xml"), 1);
    EXPECT_THAT(itemIds(), ElementsAre("Caf\xE9.Men\xFC"));
    EXPECT_EQ(tag("Caf\xE9.Men\xFC").description, "\xE9\xE9?");
}

} // namespace
