// The channel over real pseudo-terminals against the simulator running in-process.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "server/hostlink/hostlink_channel.h"
#include "tests/hostlink/sim_fixture.h"
#include "tools/plcsim/plc_simulator.h"

namespace {

PlcSimulator::Options simOptions(const SimFolder& folder, std::vector<std::uint8_t> units)
{
    PlcSimulator::Options o;
    o.units = std::move(units);
    o.linkPath = folder.link;
    return o;
}

struct LineWithSim : ::testing::Test {
    void SetUp() override
    {
        folder.mapPort("COM1");
        channel.addPort("COM1", 9600, "EVEN", 2, 7);
    }
    // Shorter read time-outs keep the failure cases quick; the defaults are tested apart.
    void quickTimeouts()
    {
        CommTimeouts t;
        t.readTotalTimeoutConstant = 300;
        channel.findPort("COM1")->setTimeouts(t);
    }
    void route(std::vector<PlcRoute> routes) { channel.setRoutes(routes); }
    std::vector<std::uint16_t> read(MemoryArea area, std::uint16_t first, std::uint16_t count,
                                    HostLinkResult* result)
    {
        std::vector<std::uint16_t> w(count);
        *result = channel.readWords(area, first, count, w.data());
        return w;
    }

    SimFolder folder;
    HostLinkChannel channel;
};

} // namespace

TEST_F(LineWithSim, TwoUnitsOnOneLineAnswerEachForItself)
{
    PlcSimulator sim(simOptions(folder, {0, 5}));
    ASSERT_TRUE(sim.start());
    sim.setWords(0, MemoryArea::DM, 10, {0x1111, 0x2222});
    sim.setWords(5, MemoryArea::DM, 10, {0x5555, 0x6666});
    route({PlcRoute::make(0, "COM1"), PlcRoute::make(5, "COM1")});

    HostLinkResult r = -1;
    ASSERT_EQ(channel.selectPlc(1), 0);
    EXPECT_EQ(read(MemoryArea::DM, 10, 2, &r), (std::vector<std::uint16_t>{0x1111, 0x2222}));
    EXPECT_EQ(r, 0);
    ASSERT_EQ(channel.selectPlc(2), 0);
    EXPECT_EQ(read(MemoryArea::DM, 10, 2, &r), (std::vector<std::uint16_t>{0x5555, 0x6666}));
    EXPECT_EQ(r, 0);
    const std::uint16_t w = 0xABCD;
    EXPECT_EQ(channel.writeWords(MemoryArea::HR, 3, 1, &w), 0);
    EXPECT_EQ(sim.word(5, MemoryArea::HR, 3), 0xABCD);
    EXPECT_EQ(sim.word(0, MemoryArea::HR, 3), 0);
}

TEST_F(LineWithSim, UnitNotOnTheLineGivesNoReply)
{
    PlcSimulator sim(simOptions(folder, {0}));
    ASSERT_TRUE(sim.start());
    quickTimeouts();
    route({PlcRoute::make(7, "COM1")});
    ASSERT_EQ(channel.selectPlc(1), 0);
    HostLinkResult r = -1;
    read(MemoryArea::DM, 0, 1, &r);
    EXPECT_EQ(r, 4);
}

TEST_F(LineWithSim, PortThatCannotBeOpenedGivesSixteenAndIsTriedAgain)
{
    route({PlcRoute::make(0, "COM1")});
    EXPECT_EQ(channel.selectPlc(1), 16);
    EXPECT_EQ(channel.selectPlc(1), 16);
    PlcSimulator sim(simOptions(folder, {0}));
    ASSERT_TRUE(sim.start());
    sim.setWord(0, MemoryArea::DM, 0, 42);
    EXPECT_EQ(channel.selectPlc(1), 0);
    HostLinkResult r = -1;
    EXPECT_EQ(read(MemoryArea::DM, 0, 1, &r)[0], 42);
    EXPECT_EQ(r, 0);
}

TEST_F(LineWithSim, DeviceThatWentAwayIsOpenedAgainWhenItComesBack)
{
    quickTimeouts();
    route({PlcRoute::make(0, "COM1")});
    auto first = std::make_unique<PlcSimulator>(simOptions(folder, {0}));
    ASSERT_TRUE(first->start());
    first->setWord(0, MemoryArea::DM, 0, 1);
    ASSERT_EQ(channel.selectPlc(1), 0);
    HostLinkResult r = -1;
    EXPECT_EQ(read(MemoryArea::DM, 0, 1, &r)[0], 1);

    first.reset();  // the adapter is pulled: the pty's other end closes
    read(MemoryArea::DM, 0, 1, &r);
    EXPECT_NE(r, 0);
    EXPECT_TRUE(isLineFailure(r));
    EXPECT_FALSE(channel.findPort("COM1")->isOpen());
    EXPECT_EQ(channel.selectPlc(1), 16);  // not back yet

    PlcSimulator second(simOptions(folder, {0}));
    ASSERT_TRUE(second.start());
    second.setWord(0, MemoryArea::DM, 0, 2);
    ASSERT_EQ(channel.selectPlc(1), 0);
    EXPECT_EQ(read(MemoryArea::DM, 0, 1, &r)[0], 2);
    EXPECT_EQ(r, 0);
}

TEST_F(LineWithSim, InjectedFaultsGiveTheirResults)
{
    PlcSimulator sim(simOptions(folder, {0}));
    ASSERT_TRUE(sim.start());
    quickTimeouts();
    sim.setWords(0, MemoryArea::DM, 0, {0x0102, 0x0304});
    route({PlcRoute::make(0, "COM1")});
    ASSERT_EQ(channel.selectPlc(1), 0);
    struct Row { const char* fault; HostLinkResult result; };
    const Row rows[] = {
        {"silence", 4},     {"badfcs", 49},      {"garble", 48},      {"noterm", 48},
        {"cut", 48},        {"dribble=5", 0},    {"delay=100", 0},    {"endcode=0B", 72},
        {"endcode=23", 67}, {"endcode=A3", 49},  {"endcode=15", 68},  {"endcode=02", 71},
    };
    for (const Row& row : rows) {
        const auto fault = parseSimFault(row.fault);
        ASSERT_TRUE(fault) << row.fault;
        sim.setFault(0, "RD", *fault);
        HostLinkResult r = -1;
        const auto words = read(MemoryArea::DM, 0, 2, &r);
        EXPECT_EQ(r, row.result) << row.fault;
        if (row.result == 0) {
            EXPECT_EQ(words, (std::vector<std::uint16_t>{0x0102, 0x0304})) << row.fault;
        }
        sim.clearFaults();
        // Let a cut-off reply's tail or a late frame drain before the next case.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Faults belong to their command: a write is not touched by a read fault.
    sim.setFault(0, "RD", {SimFaultKind::Silence, 0, -1});
    const std::uint16_t w = 7;
    EXPECT_EQ(channel.writeWords(MemoryArea::DM, 0, 1, &w), 0);
}

TEST_F(LineWithSim, LateReplyIsNotTakenForTheNextAnswer)
{
    PlcSimulator sim(simOptions(folder, {0}));
    ASSERT_TRUE(sim.start());
    quickTimeouts();
    sim.setWord(0, MemoryArea::DM, 0, 0xAAAA);
    sim.setWord(0, MemoryArea::DM, 1, 0xBBBB);
    route({PlcRoute::make(0, "COM1")});
    ASSERT_EQ(channel.selectPlc(1), 0);
    sim.setFault(0, "RD", {SimFaultKind::Delay, 450, 1});
    HostLinkResult r = -1;
    read(MemoryArea::DM, 0, 1, &r);
    EXPECT_EQ(r, 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the late reply lands
    EXPECT_EQ(read(MemoryArea::DM, 1, 1, &r)[0], 0xBBBB);
    EXPECT_EQ(r, 0);
}

TEST_F(LineWithSim, HundredWordReadComesInFourFrames)
{
    PlcSimulator sim(simOptions(folder, {0}));
    ASSERT_TRUE(sim.start());
    std::vector<std::uint16_t> values(100);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::uint16_t>(0x1000 + i);
    sim.setWords(0, MemoryArea::DM, 500, values);
    route({PlcRoute::make(0, "COM1")});
    ASSERT_EQ(channel.selectPlc(1), 0);
    sim.resetCounters();
    HostLinkResult r = -1;
    EXPECT_EQ(read(MemoryArea::DM, 500, 100, &r), values);
    EXPECT_EQ(r, 0);
    const SimCounters c = sim.counters();
    EXPECT_EQ(c.commands, 1u);
    EXPECT_EQ(c.framesOut, 4u);     // 30 + 31 + 31 + 8 words
    EXPECT_EQ(c.framesIn, 4u);      // the command and three lone CRs
    EXPECT_EQ(c.charsIn, 17u + 3u);
    EXPECT_EQ(c.charsOut, (7 + 120 + 3) + (124 + 3) * 2 + (32 + 4));
}

TEST_F(LineWithSim, EveryAreaTakesWritesAndReadsThemBack)
{
    PlcSimulator sim(simOptions(folder, {3}));
    ASSERT_TRUE(sim.start());
    route({PlcRoute::make(3, "COM1")});
    ASSERT_EQ(channel.selectPlc(1), 0);
    for (int code = 1; code <= 7; ++code) {
        const auto area = static_cast<MemoryArea>(code);
        const std::vector<std::uint16_t> data =
            area == MemoryArea::TG ? std::vector<std::uint16_t>{1, 0, 1}
                                   : std::vector<std::uint16_t>{std::uint16_t(0x1234 + code), 0xFFFF, 0};
        ASSERT_EQ(channel.writeWords(area, 20, 3, data.data()), 0) << code;
        EXPECT_EQ(sim.words(3, area, 20, 3), data) << code;
        HostLinkResult r = -1;
        EXPECT_EQ(read(area, 20, 3, &r), data) << code;
        EXPECT_EQ(r, 0) << code;
    }
}

TEST_F(LineWithSim, LongWritesGoInSeveralFramesAndRefusalsAreReported)
{
    PlcSimulator sim(simOptions(folder, {0}));
    ASSERT_TRUE(sim.start());
    route({PlcRoute::make(0, "COM1")});
    ASSERT_EQ(channel.selectPlc(1), 0);
    std::vector<std::uint16_t> data(200);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint16_t>(i * 3);
    sim.resetCounters();
    ASSERT_EQ(channel.writeWords(MemoryArea::DM, 1000, 200, data.data()), 0);
    EXPECT_EQ(sim.words(0, MemoryArea::DM, 1000, 200), data);
    EXPECT_EQ(sim.counters().framesIn, 7u);  // 29 + 30 * 5 + 21

    const std::vector<std::uint16_t> flags(300, 1);
    ASSERT_EQ(channel.writeWords(MemoryArea::TG, 100, 300, flags.data()), 0);
    EXPECT_EQ(sim.words(0, MemoryArea::TG, 100, 300), flags);

    HostLinkResult r = -1;
    read(MemoryArea::DM, 6650, 10, &r);
    EXPECT_EQ(r, 65);
    EXPECT_EQ(channel.writeWords(MemoryArea::DM, 6600, 100, data.data()), 65);
    EXPECT_EQ(channel.writeWords(MemoryArea::AR, 27, 2, data.data()), 65);

    sim.setRunLock(true);
    sim.setMode(0, SimMode::Run);
    EXPECT_EQ(channel.writeWords(MemoryArea::DM, 0, 1, data.data()), 70);
    EXPECT_EQ(channel.writeWords(MemoryArea::DM, 0, 100, data.data()), 64);
    read(MemoryArea::DM, 1000, 3, &r);
    EXPECT_EQ(r, 0);
}
