// What communication failures do to qualities, the PLC turn, the message ring and the log.
#include "tests/e2e/polling_scenario.h"

#include <gtest/gtest.h>

#include <thread>

#include "server/polling/error_log.h"
#include "server/toolkit/event_pool.h"

using namespace std::chrono_literals;

namespace {

std::string catalogueText(const char* code) {
    MessageCatalog c;
    c.load(std::filesystem::path(sourceDir()) / "server/data/Vorlask.dat");
    return c.textFor(static_cast<std::uint32_t>(std::stoul(code, nullptr, 16)));
}

} // namespace

TEST(PollingFailures, SilentPlcIsLoggedOnceAndTheOtherPortKeepsBeingPolled) {
    PollingScenario s(200);
    PlcSimulator& first = s.addLine("COM1", {1});
    PlcSimulator& second = s.addLine("COM2", {2});
    first.setWord(1, MemoryArea::DM, 10, 42);
    second.setWord(2, MemoryArea::DM, 10, 43);
    Plc& a = s.addPlc("Press", 1, "COM1");
    Plc& b = s.addPlc("Oven", 2, "COM2");
    PlcTag& a1 = s.addTag(a, "A1", vt::I2, MemoryArea::DM, 10);
    PlcTag& a2 = s.addTag(a, "A2", vt::I2, MemoryArea::HR, 0);
    PlcTag& b1 = s.addTag(b, "B1", vt::I2, MemoryArea::DM, 10);
    logToFile = true;
    s.start();
    s.addItems(s.addGroup(100), {"Press.A1", "Press.A2", "Oven.B1"});
    ASSERT_TRUE(s.waitForBlocks(a, 2));
    Variant v;
    ASSERT_TRUE(PollingScenario::waitUntil([&] {
        Variant va, vb;
        a1.getCache()->getValue(va);
        b1.getCache()->getValue(vb);
        return va.asInt64() == 42 && vb.asInt64() == 43;
    }));

    first.setFault(1, "*", SimFault{SimFaultKind::Silence, 0, -1});
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return s.window().ringChanges.load() >= 1; }));
    const auto secondBefore = second.counters().commands;
    std::this_thread::sleep_for(1200ms);
    // One line for as long as the failure lasts, every tag of the PLC marked, value kept.
    EXPECT_EQ(s.window().ringChanges.load(), 1);
    EXPECT_EQ(s.logLines(), 1);
    EXPECT_EQ(s.quality(a1), 0x18);
    EXPECT_EQ(s.quality(a2), 0x18);
    a1.getCache()->getValue(v);
    EXPECT_EQ(v.asInt64(), 42);
    EXPECT_EQ(a.lastResult(), 4);
    EXPECT_NE(s.logText().find("Press: "), std::string::npos);
    EXPECT_NE(s.logText().find(catalogueText("0004")), std::string::npos);
    EXPECT_EQ(s.ring().entries()[0], s.logText());
    // The other PLC is served between the attempts on the silent one.
    EXPECT_GE(second.counters().commands - secondBefore, 4u);
    EXPECT_EQ(s.quality(b1), 0xC0);

    first.clearFaults();
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return s.quality(a1) == 0xC0 && s.quality(a2) == 0xC0; }));
    EXPECT_EQ(a.lastResult(), 0);
    EXPECT_EQ(s.window().ringChanges.load(), 1); // recovery writes no line
    EXPECT_EQ(s.logLines(), 1);
}

TEST(PollingFailures, EndCodeOnOneBlockMarksOnlyThatBlock) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    sim.setWord(0, MemoryArea::HR, 5, 77);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    PlcTag& d = s.addTag(plc, "D", vt::I2, MemoryArea::DM, 10);
    PlcTag& h = s.addTag(plc, "H", vt::I2, MemoryArea::HR, 5);
    s.start();
    s.addItems(s.addGroup(300), {"P1.D", "P1.H"});
    ASSERT_TRUE(s.waitForBlocks(plc, 2));
    sim.setFault(0, "RD", SimFault{SimFaultKind::EndCode, 0x04, -1});
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return s.window().ringChanges.load() >= 1; }));
    // The other block keeps being read with good values within the same round.
    ASSERT_TRUE(PollingScenario::waitUntil([&] {
        Variant v;
        h.getCache()->getValue(v);
        return v.asInt64() == 77;
    }));
    EXPECT_EQ(s.quality(d), 0x1C);
    EXPECT_EQ(s.quality(h), 0xC0);
    EXPECT_NE(s.ring().entries()[0].find(catalogueText("0041")), std::string::npos);
    EXPECT_EQ(s.window().ringChanges.load(), 1);
}

TEST(PollingFailures, PortThatCannotBeOpenedGives16) {
    PollingScenario s;
    Plc& plc = s.addPlc("Lost", 0, "COM9"); // no device behind it
    s.channel().addPort("COM9", 9600, "EVEN", 2, 7);
    PlcTag& t = s.addTag(plc, "T", vt::I2, MemoryArea::DM, 0);
    s.start();
    s.addItem(s.addGroup(100), "Lost.T");
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return s.window().ringChanges.load() >= 1; }));
    EXPECT_EQ(plc.lastResult(), 16);
    EXPECT_EQ(s.quality(t), 0x18);
    EXPECT_NE(s.ring().entries()[0].find(catalogueText("0010")), std::string::npos);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(s.window().ringChanges.load(), 1) << s.ring().newestFirst();
}

TEST(PollingFailures, NoPlcConfiguredTellsTheWindowAndOpensNoPort) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    s.start();
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return !s.thread().running(); }));
    EXPECT_EQ(s.window().noPlc.load(), 1);
    EXPECT_FALSE(s.channel().findPort("COM1")->isOpen());
    EXPECT_EQ(sim.counters().charsIn, 0u);
}

TEST(PollingFailures, StopEventEndsTheThreadAndClearsTheRoutes) {
    PollingScenario s;
    s.addLine("COM1", {0});
    s.addPlc("P1", 0, "COM1");
    s.start();
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return s.thread().passes() > 2; }));
    EXPECT_TRUE(s.channel().hasRoutes());
    s.thread().stopEvent()->set();
    s.thread().join();
    EXPECT_FALSE(s.thread().running());
    EXPECT_EQ(s.thread().exitCode(), 0);
    EXPECT_FALSE(s.channel().hasRoutes());
}

TEST(PollingFigures, CountsMatchThePlcAndTheLineShareMatchesTheWire) {
    using namespace std::chrono;
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0}, 9600);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "T", vt::I2, MemoryArea::DM, 0);
    s.start();
    s.channel().stats().reset();
    const SimCounters c0 = sim.counters();
    const auto t0 = steady_clock::now();
    s.addItem(s.addGroup(10), "P1.T"); // always due: the line is kept busy
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return sim.counters().commands >= c0.commands + 20; }, 20s));
    sim.setFault(0, "RD", SimFault{SimFaultKind::EndCode, 0x04, 3});
    const auto faultAt = sim.counters().commands;
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return sim.counters().commands >= faultAt + 30; }, 20s));

    // The share of the wire in use, against what the simulator itself carried at 11 bits a
    // character over the same time.
    const double busy = s.channel().stats().busyPercent("COM1", 11, 9600);
    const SimCounters c1 = sim.counters();
    const double seconds = duration<double>(steady_clock::now() - t0).count();
    const double wire = 100.0 * double((c1.charsIn - c0.charsIn) + (c1.charsOut - c0.charsOut)) * 11 / 9600 / seconds;
    EXPECT_NEAR(busy, wire, 5.0) << "seconds " << seconds;
    EXPECT_GT(busy, 50.0);

    s.stopThread();
    const SimCounters end = sim.counters();
    const LinkStats::PlcFigures f = s.channel().stats().plc(plc.plcNumber());
    EXPECT_EQ(f.commands, end.commands - c0.commands);
    EXPECT_EQ(f.charsSent, end.charsIn - c0.charsIn);
    EXPECT_EQ(f.charsReceived, end.charsOut - c0.charsOut);
    ASSERT_EQ(f.failures.size(), 1u);
    EXPECT_EQ(f.failures.at(65), 3u);
    EXPECT_GT(f.meanMs, 20.0); // 32 characters at 9600 baud take 37 ms
    EXPECT_GE(f.maxMs, f.meanMs);
    EXPECT_NE(f.lastGoodRead, std::chrono::system_clock::time_point{});
}
