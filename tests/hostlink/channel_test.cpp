// HostLinkChannel: port definitions, route table and PLC selection, on in-memory lines.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "server/hostlink/hostlink_channel.h"
#include "tests/hostlink/memory_line.h"

namespace {

struct ChannelOnMemory {
    ChannelOnMemory()
        : channel([this](std::string_view name, const SerialSettings&) -> std::unique_ptr<Line> {
              auto line = std::make_unique<MemoryLine>();
              lines[std::string(name)] = line.get();
              return line;
          })
    {
    }
    std::map<std::string, MemoryLine*> lines;
    HostLinkChannel channel;
};

} // namespace

TEST(HostLinkChannelPorts, FirstDefinitionOfANameWins)
{
    ChannelOnMemory c;
    EXPECT_TRUE(c.channel.addPort("COM1", 9600, "EVEN", 2, 7));
    EXPECT_FALSE(c.channel.addPort("COM1", 19200, "NO", 1, 8));
    EXPECT_TRUE(c.channel.addPort("COM2", 19200, "NO", 1, 8));
    ASSERT_EQ(c.channel.ports().size(), 2u);
    const SerialSettings& s = c.channel.ports()[0]->settings();
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.parity, kEvenParity);
    EXPECT_EQ(s.stopBits, kTwoStopBits);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(c.channel.ports()[1]->name(), "COM2");
    // Names compare exactly: "com1" is another port.
    EXPECT_TRUE(c.channel.addPort("com1", 4800, "ODD", 1, 8));
}

TEST(HostLinkChannelPorts, ParityAndStopBitWordsMap)
{
    struct Row { const char* parity; int stopBits; std::int32_t wantParity; std::int32_t wantStop; };
    const Row rows[] = {
        {"NO", 1, kNoParity, kOneStopBit},   {"ODD", 2, kOddParity, kTwoStopBits},
        {"EVEN", 0, kEvenParity, kTwoStopBits}, {"MARK", 3, kEvenParity, kTwoStopBits},
        {"", 1, kEvenParity, kOneStopBit},   {"no", 1, kEvenParity, kOneStopBit},
    };
    ChannelOnMemory c;
    int n = 0;
    for (const Row& r : rows) {
        const std::string name = "P" + std::to_string(n++);
        ASSERT_TRUE(c.channel.addPort(name, 9600, r.parity, r.stopBits, 7));
        const SerialSettings& s = c.channel.findPort(name)->settings();
        EXPECT_EQ(s.parity, r.wantParity) << '"' << r.parity << '"';
        EXPECT_EQ(s.stopBits, r.wantStop) << r.stopBits;
    }
}

TEST(HostLinkChannelPorts, NamesLongerThanSevenAreRefused)
{
    ChannelOnMemory c;
    EXPECT_TRUE(c.channel.addPort("COMPORT", 9600, "EVEN", 2, 7));
    EXPECT_FALSE(c.channel.addPort("COMPORT1", 9600, "EVEN", 2, 7));
    EXPECT_EQ(c.channel.ports().size(), 1u);
    // A route with such a name does not land on the port cut to seven characters.
    const PlcRoute route = PlcRoute::make(0, "COMPORT1");
    c.channel.setRoutes(&route, 1);
    EXPECT_EQ(c.channel.selectPlc(1), 16);
    EXPECT_EQ(c.lines["COMPORT"]->openCalls, 0);
}

TEST(HostLinkChannelRoutes, TwoPlcsOnOnePortShareIt)
{
    ChannelOnMemory c;
    c.channel.addPort("COM1", 9600, "EVEN", 2, 7);
    c.channel.addPort("COM1", 19200, "NO", 1, 8);
    const std::vector<PlcRoute> routes = {PlcRoute::make(0, "COM1"), PlcRoute::make(5, "COM1")};
    c.channel.setRoutes(routes);
    EXPECT_EQ(c.channel.currentPlc(), 0u);
    EXPECT_EQ(c.channel.selectPlc(1), 0);
    SerialPort* first = c.channel.currentPort();
    EXPECT_EQ(c.channel.selectPlc(2), 0);
    EXPECT_EQ(c.channel.currentPort(), first);
    EXPECT_EQ(first->settings().baudRate, 9600u);
    EXPECT_EQ(c.lines["COM1"]->openCalls, 1);

    // The unit number travels with the route.
    c.lines["COM1"]->responder = [](const std::string&) {
        return std::vector<std::string>{withFcs("@05RD000007")};
    };
    std::uint16_t word = 0;
    EXPECT_EQ(c.channel.readWords(MemoryArea::DM, 0, 1, &word), 0);
    EXPECT_EQ(c.lines["COM1"]->writes.back().substr(0, 3), "@05");
    EXPECT_EQ(word, 7);
}

TEST(HostLinkChannelRoutes, PortThatCannotOpenGivesSixteenAndIsTriedAgain)
{
    ChannelOnMemory c;
    c.channel.addPort("COM2", 9600, "EVEN", 2, 7);
    MemoryLine* line = c.lines["COM2"];
    line->openSucceeds = false;
    const PlcRoute route = PlcRoute::make(0, "COM2");
    c.channel.setRoutes(&route, 1);
    EXPECT_EQ(c.channel.selectPlc(1), 16);
    EXPECT_EQ(c.channel.selectPlc(1), 16);
    EXPECT_EQ(line->openCalls, 2);
    // A transaction on a port that is not open tries to open it first.
    std::uint16_t w = 0;
    EXPECT_EQ(c.channel.readWords(MemoryArea::DM, 0, 1, &w), 16);
    EXPECT_EQ(line->openCalls, 3);
    EXPECT_EQ(c.channel.readWords(static_cast<MemoryArea>(0), 0, 1, &w), 66);
    line->openSucceeds = true;
    EXPECT_EQ(c.channel.selectPlc(1), 0);
}

TEST(HostLinkChannelRoutes, RouteToAnUndefinedPortFailsInsteadOfUsingTheLastPort)
{
    ChannelOnMemory c;
    c.channel.addPort("COM1", 9600, "EVEN", 2, 7);
    const std::vector<PlcRoute> routes = {PlcRoute::make(0, "COM1"), PlcRoute::make(1, "COM9")};
    c.channel.setRoutes(routes);
    ASSERT_EQ(c.channel.selectPlc(1), 0);
    EXPECT_EQ(c.channel.selectPlc(2), 16);
    EXPECT_EQ(c.channel.currentPlc(), 2u);
    EXPECT_EQ(c.channel.currentPort(), nullptr);
    std::uint16_t w = 0;
    EXPECT_EQ(c.channel.readWords(MemoryArea::DM, 0, 1, &w), 1);
    EXPECT_TRUE(c.lines["COM1"]->writes.empty());
}

TEST(HostLinkChannelRoutes, ClearRoutesKeepsPortsOpen)
{
    ChannelOnMemory c;
    c.channel.addPort("COM1", 9600, "EVEN", 2, 7);
    const PlcRoute route = PlcRoute::make(3, "COM1");
    c.channel.setRoutes(&route, 1);
    ASSERT_EQ(c.channel.selectPlc(1), 0);
    c.channel.clearRoutes();
    EXPECT_FALSE(c.channel.hasRoutes());
    EXPECT_EQ(c.channel.routeCount(), 0u);
    EXPECT_EQ(c.channel.currentPlc(), 0u);
    EXPECT_TRUE(c.channel.ports()[0]->isOpen());
    EXPECT_EQ(c.channel.selectPlc(1), 16);
    // setRoutes installs a copy and starts with no current PLC.
    PlcRoute table[] = {PlcRoute::make(4, "COM1")};
    c.channel.setRoutes(table, 1);
    table[0].unitNumber = 9;
    EXPECT_EQ(c.channel.route(1)->unitNumber, 4);
    EXPECT_EQ(c.channel.currentPlc(), 0u);
}

TEST(HostLinkChannelSingleton, CreateIsIdempotent)
{
    HostLinkChannel::destroy();
    EXPECT_EQ(HostLinkChannel::instance(), nullptr);
    HostLinkChannel& a = HostLinkChannel::create();
    a.addPort("COM1", 9600, "EVEN", 2, 7);
    HostLinkChannel& b = HostLinkChannel::create();
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(b.ports().size(), 1u);
    HostLinkChannel::destroy();
    EXPECT_EQ(HostLinkChannel::instance(), nullptr);
}
