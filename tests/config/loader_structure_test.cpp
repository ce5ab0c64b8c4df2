// Roots, SETTINGS, OPC_DA and PLC elements in hand-made files.
#include "tests/config/loader_fixture.h"

#include <pugixml.hpp>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kNoDevices = "Wrong XML file syntax: no devices element\n";

TEST_F(LoaderTest, SettingsAloneDefinesThePortButLoadsNoPlc)
{
    EXPECT_EQ(load("settings_only.xml"), 0);
    EXPECT_THAT(boxTexts(), ElementsAre(kNoDevices));
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM7", 19200, kOddParity, kOneStopBit, 8}));
    EXPECT_EQ(defaultPortName, "COM7");
    EXPECT_THAT(plcs(), IsEmpty());
}

TEST_F(LoaderTest, SettingsGiveTheirPortOnlyToLaterPlcsWithoutCom)
{
    ASSERT_EQ(load("settings_before_plcs.xml"), 1);
    EXPECT_THAT(boxTexts(), IsEmpty());
    // B names COM7 again: SETTINGS defined it first.
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM7", 19200, kOddParity, kOneStopBit, 8}));
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"A", 1, "COM7"}, PlcView{"B", 2, "COM7"}));

    TearDown();
    SetUp();
    ASSERT_EQ(load("settings_after_plcs.xml"), 1);
    EXPECT_THAT(boxTexts(), IsEmpty());
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM8", 4800, kNoParity, kOneStopBit, 8}));
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"A", 1, "COM1"}, PlcView{"B", 2, "COM8"}));
}

TEST_F(LoaderTest, SettingsWithoutComKeepTheDefaultPortName)
{
    ASSERT_EQ(load("settings_without_com.xml"), 1);
    EXPECT_EQ(defaultPortName, "COM1");
    EXPECT_THAT(ports(), IsEmpty());
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"A", 1, "COM1"}));
    EXPECT_THAT(boxTexts(), IsEmpty());
}

TEST_F(LoaderTest, SettingsWithMissingOrBadLineSettings)
{
    // Missing line settings take the usual ones, with a word; a bad number drops the element.
    ASSERT_EQ(loadText("<MOLVOmronHLCfg>\n<SETTINGS com=\"COM2\" baudrate=\"19200\"/>\n"
                       "<SETTINGS com=\"COM3\" stopbits=\"two\"/>\n<OPC_DA/>\n</MOLVOmronHLCfg>\n"),
              1);
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM2", 19200, kEvenParity, kTwoStopBits, 7}));
    EXPECT_EQ(defaultPortName, "COM2");
    ASSERT_EQ(boxTexts().size(), 1u);
    EXPECT_THAT(boxTexts()[0], ::testing::EndsWith(
                                   "line 2 (offset 18): SETTINGS has no parity, stopbits, databits attribute; using "
                                   "parity=EVEN stopbits=2 databits=7\n"
                                   "line 3 (offset 58): SETTINGS: stopbits=\"two\" is not a number from 0 to 255; it "
                                   "is not loaded\n"));
}

TEST_F(LoaderTest, OnlyTheExactRootNameIsRead)
{
    EXPECT_EQ(load("other_root.xml"), 1);
    EXPECT_THAT(boxTexts(), IsEmpty());
    EXPECT_THAT(ports(), IsEmpty());
    EXPECT_THAT(plcs(), IsEmpty());
    EXPECT_THAT(branchPaths(), IsEmpty());
}

TEST_F(LoaderTest, RootWithoutExactOpcDaIsAnError)
{
    EXPECT_EQ(load("root_without_devices.xml"), 0);
    EXPECT_THAT(boxTexts(), ElementsAre(kNoDevices));
    EXPECT_THAT(ports(), IsEmpty());
    EXPECT_THAT(plcs(), IsEmpty());
}

TEST_F(LoaderTest, PlcWithoutNameDefinesItsPortOnly)
{
    ASSERT_EQ(load("plc_without_name.xml"), 1);
    // The nameless PLC's line settings won the port; its tag went nowhere.
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM3", 2400, kNoParity, kOneStopBit, 8}));
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"Kept", 2, "COM3"}));
    EXPECT_THAT(itemIds(), ElementsAre("Kept.T"));
    EXPECT_THAT(branchPaths(), ElementsAre("Kept"));
}

TEST_F(LoaderTest, MissingPlcAttributesTakeTheLineDefaultsAndAreReported)
{
    ASSERT_EQ(load("missing_attributes.xml"), 1);
    EXPECT_THAT(ports(), ElementsAre(PortView{"COM4", 9600, kEvenParity, kTwoStopBits, 7},
                                     PortView{"COM9", 9600, kEvenParity, kTwoStopBits, 7}));
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"Defaults", 0, "COM4"}, PlcView{"NoPort", 0, "COM1"},
                                    PlcView{"Empty", 0, "COM9"}));
    const std::string path = fixturePath("missing_attributes.xml");
    EXPECT_THAT(boxTexts(),
                ElementsAre("The configuration file has problems: " + path + "\n"
                            "line 3 (offset 33): PLC \"Defaults\" has no id, baudrate, parity, stopbits, databits "
                            "attribute; using id=0 baudrate=9600 parity=EVEN stopbits=2 databits=7\n"
                            "line 4 (offset 83): PLC \"NoPort\" has no id attribute; using id=0\n"
                            "line 5 (offset 120): PLC \"Empty\" has no id, baudrate, parity, stopbits, databits "
                            "attribute; using id=0 baudrate=9600 parity=EVEN stopbits=2 databits=7\n"));
}

TEST_F(LoaderTest, PortNamesLongerThanSevenCharactersAreReported)
{
    ASSERT_EQ(load("long_port_name.xml"), 1);
    EXPECT_THAT(ports(), IsEmpty());
    EXPECT_THAT(plcs(), ElementsAre(PlcView{"Far", 1, "COM12345"}));
    ASSERT_EQ(boxTexts().size(), 1u);
    EXPECT_THAT(boxTexts()[0], ::testing::HasSubstr("port name \"COM12345\" is longer than 7 characters"));
}

TEST_F(LoaderTest, UnreadableFilesAreReportedOnceAndLoadNothing)
{
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {fixturePath("not_well_formed.xml"), "Error parsing start element tag at offset 195"},
        {fixturePath("truncated.xml"), "Start-end tags mismatch at offset 71"},
        {fixturePath("empty.xml"), "No document element found at offset 0"},
        {fixturePath("absent.xml"), "No such file or directory"},
        {"", "No such file or directory"},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        EXPECT_EQ(loadConfiguration(c.path, root.get(), &window), 1) << c.path;
        EXPECT_THAT(boxTexts(), ElementsAre("The configuration file couldn't be read: " + c.path + ": " + c.message));
        EXPECT_THAT(ports(), IsEmpty());
        EXPECT_THAT(plcs(), IsEmpty());
        EXPECT_THAT(branchPaths(), IsEmpty());
        window.boxes.clear();
    }
}

void* refuseAllocation(std::size_t)
{
    return nullptr;
}

TEST_F(LoaderTest, ParserWithoutMemoryIsTheOneFailureBeforeReading)
{
    const pugi::allocation_function allocate = pugi::get_memory_allocation_function();
    const pugi::deallocation_function deallocate = pugi::get_memory_deallocation_function();
    pugi::set_memory_management_functions(refuseAllocation, deallocate);
    const int result = load("editor_plant.xml");
    pugi::set_memory_management_functions(allocate, deallocate);
    EXPECT_EQ(result, 0);
    EXPECT_THAT(boxTexts(), ElementsAre("Can't create MSXML::DOMDocument object\n"));
    EXPECT_THAT(plcs(), IsEmpty());
}

TEST_F(LoaderTest, LoadsWithoutOwnerWindowOrNameSpace)
{
    EXPECT_EQ(loadConfiguration(fixturePath("root_without_devices.xml"), root.get(), nullptr), 0);
    EXPECT_EQ(loadConfiguration(fixturePath("editor_plant.xml"), nullptr, nullptr), 1);
    // Ports and PLCs do not need the name space.
    EXPECT_EQ(plcs().size(), 3u);
    EXPECT_EQ(ports().size(), 2u);
}

} // namespace
