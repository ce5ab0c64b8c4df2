// Which active tags share a cyclic block, at which rate, and what that costs on the line.
#include "tests/e2e/polling_scenario.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace {

struct Placement {
    const char* name;
    std::uint16_t first;
    std::uint16_t second;
    std::vector<std::string> labels;
};

} // namespace

// The second tag is activated after the first one's block exists, so that "before" and
// "after" the block are both exercised.
TEST(PollingBlocks, GapOfUpTo25WordsJoinsEitherSide) {
    const std::vector<Placement> cases = {
        {"gap 25 after", 100, 126, {"DM100-LEN27"}},
        {"gap 26 after", 100, 127, {"DM100-LEN1", "DM127-LEN1"}},
        {"25 before", 100, 75, {"DM75-LEN26"}},
        {"26 before", 100, 74, {"DM100-LEN1", "DM74-LEN1"}},
        {"inside", 100, 100, {"DM100-LEN1"}},
    };
    for (const Placement& c : cases) {
        SCOPED_TRACE(c.name);
        PollingScenario s;
        s.addLine("COM1", {0});
        Plc& plc = s.addPlc("P1", 0, "COM1");
        s.addTag(plc, "A", vt::I2, MemoryArea::DM, c.first);
        s.addTag(plc, "B", vt::I2, MemoryArea::DM, c.second);
        s.start();
        GroupHandle g = s.addGroup(100);
        s.addItem(g, "P1.A");
        ASSERT_TRUE(s.waitForBlocks(plc, 1));
        s.addItem(g, "P1.B");
        ASSERT_TRUE(s.waitForBlocks(plc, c.labels.size()));
        EXPECT_EQ(s.blockLabels(plc), c.labels);
    }
}

TEST(PollingBlocks, OneSharedBlockIsOneReadCommandOfTheWholeRange) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    sim.setWord(0, MemoryArea::DM, 100, 0x1111);
    sim.setWord(0, MemoryArea::DM, 126, 0x2222);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    PlcTag& a = s.addTag(plc, "A", vt::I2, MemoryArea::DM, 100);
    PlcTag& b = s.addTag(plc, "B", vt::I2, MemoryArea::DM, 126);
    s.start();
    GroupHandle g = s.addGroup(150);
    s.addItems(g, {"P1.A", "P1.B"});
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    sim.resetCounters();
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return sim.counters().commands >= 2; }));
    s.stopThread();
    const SimCounters c = sim.counters();
    // Every command is one 17-character read; every reply one frame of 27 words.
    EXPECT_EQ(c.charsIn, 17 * c.commands);
    EXPECT_EQ(c.charsOut, (11 + 4 * 27) * c.commands);
    Variant va, vb;
    a.getCache()->getValue(va);
    b.getCache()->getValue(vb);
    EXPECT_EQ(va.asInt64(), 0x1111);
    EXPECT_EQ(vb.asInt64(), 0x2222);
}

TEST(PollingBlocks, ActivationsAreAppliedInAddressOrder) {
    // Applied in queue order, DM140 would start a block of its own before DM120 bridged it.
    PollingScenario s;
    s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    for (std::uint16_t address : {100, 140, 120})
        s.addTag(plc, "T" + std::to_string(address), vt::I2, MemoryArea::DM, address);
    s.start();
    s.addItems(s.addGroup(100), {"P1.T100", "P1.T140", "P1.T120"});
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    EXPECT_EQ(s.blockLabels(plc), std::vector<std::string>{"DM100-LEN41"});
}

TEST(PollingBlocks, ArraysAlwaysGetABlockOfTheirOwn) {
    PollingScenario s;
    s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "S100", vt::I2, MemoryArea::DM, 100);
    s.addTag(plc, "Arr", vt::I2 | vt::ARRAY, MemoryArea::DM, 101, 0, 4);
    s.addTag(plc, "S103", vt::I2, MemoryArea::DM, 103);
    s.addTag(plc, "Other", vt::I2, MemoryArea::HR, 100);
    s.start();
    s.addItems(s.addGroup(100), {"P1.S100", "P1.Arr", "P1.S103", "P1.Other"});
    ASSERT_TRUE(s.waitForBlocks(plc, 3));
    EXPECT_EQ(s.blockLabels(plc),
              (std::vector<std::string>{"HR100-LEN1", "DM100-LEN4", "DM101-LEN4"}));
}

TEST(PollingBlocks, SmallestRateAskedForWins) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "T", vt::I2, MemoryArea::DM, 10);
    s.start();
    s.addItem(s.addGroup(1000), "P1.T");
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    s.addItem(s.addGroup(250), "P1.T");
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return s.blockRates(plc) == std::vector<std::uint32_t>{250}; }));
    s.addItem(s.addGroup(500), "P1.T");
    std::this_thread::sleep_for(250ms); // the activation settles and is applied
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    EXPECT_EQ(s.blockRates(plc), std::vector<std::uint32_t>{250});
    // Polled every 250 ms: about four reads a second.
    sim.resetCounters();
    std::this_thread::sleep_for(1000ms);
    const auto commands = sim.counters().commands;
    EXPECT_GE(commands, 3u);
    EXPECT_LE(commands, 5u);
}

TEST(PollingBlocks, RateChangeMovesTagToTheNewRate) {
    PollingScenario s;
    s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "T", vt::I2, MemoryArea::DM, 10);
    s.start();
    GroupHandle g = s.addGroup(1000);
    s.addItem(g, "P1.T");
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    s.client().setUpdateRate(g, 300);
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return s.blockRates(plc) == std::vector<std::uint32_t>{300}; }));
}

TEST(PollingBlocks, LastDeactivationRemovesTagAndEmptiedBlock) {
    PollingScenario s;
    s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "A", vt::I2, MemoryArea::DM, 10);
    s.addTag(plc, "B", vt::I2, MemoryArea::DM, 20);
    s.start();
    GroupHandle g1 = s.addGroup(100);
    GroupHandle g2 = s.addGroup(100);
    ItemHandle a1 = s.addItem(g1, "P1.A");
    ItemHandle a2 = s.addItem(g2, "P1.A");
    ItemHandle b1 = s.addItem(g1, "P1.B");
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    EXPECT_EQ(s.blockLabels(plc), std::vector<std::string>{"DM10-LEN11"});

    s.client().setItemsActive(g2, {a2}, false); // A still has an active item
    std::this_thread::sleep_for(250ms);
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    EXPECT_EQ(s.blockLabels(plc), std::vector<std::string>{"DM10-LEN11"});

    s.client().setItemsActive(g1, {a1}, false); // the range shrinks to B
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return s.blockLabels(plc) == std::vector<std::string>{"DM20-LEN1"}; }));

    s.client().setItemsActive(g1, {b1}, false);
    ASSERT_TRUE(s.waitForBlocks(plc, 0));
}

TEST(PollingBlocks, RateZeroBlockIsNeverRead) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "T", vt::I2, MemoryArea::DM, 10);
    s.start();
    GroupHandle g = s.addGroup(0);
    s.addItem(g, "P1.T");
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    ASSERT_EQ(s.blockRates(plc), std::vector<std::uint32_t>{0});
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sim.counters().commands, 0u);
}

TEST(PollingBlocks, TwoBlocksAtOneRateAreEachReadOncePerPeriod) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "D", vt::I2, MemoryArea::DM, 10);
    s.addTag(plc, "H", vt::I2, MemoryArea::HR, 10);
    s.start();
    s.addItems(s.addGroup(200), {"P1.D", "P1.H"});
    ASSERT_TRUE(s.waitForBlocks(plc, 2));
    sim.resetCounters();
    std::this_thread::sleep_for(1000ms);
    // Two blocks, each read about five times; nothing between the reads.
    const auto c = sim.counters();
    EXPECT_GE(c.commands, 6u);
    EXPECT_LE(c.commands, 11u);
    EXPECT_EQ(c.charsIn, 17 * c.commands);
}
