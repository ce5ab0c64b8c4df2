// Serial lines side by side: a line whose PLC does not answer leaves the other line's pace
// alone, and a write reaches its line within one transaction however busy the other line is.
#include "tests/e2e/polling_scenario.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(PollingLines, ALineWithASilentPlcDoesNotSlowTheOtherLine) {
    PollingScenario s(1000);
    s.setOneThreadPerLine(true);
    PlcSimulator& silent = s.addLine("COM1", {1});
    PlcSimulator& busy = s.addLine("COM2", {2});
    Plc& a = s.addPlc("Unplugged", 1, "COM1");
    Plc& b = s.addPlc("Busy", 2, "COM2");
    s.addTag(a, "A", vt::I2, MemoryArea::DM, 0);
    s.addTag(b, "B", vt::I2, MemoryArea::DM, 0);
    silent.setFault(1, "*", SimFault{SimFaultKind::Silence, 0, -1});
    s.start();
    s.addItems(s.addGroup(10), {"Unplugged.A", "Busy.B"}); // always due
    ASSERT_TRUE(s.waitForBlocks(b, 1));
    // From one unanswered command on the silent line to the next (a full reply time-out
    // apart), the other line keeps reading: a single thread would give it one turn there.
    const auto first = silent.counters().commands;
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return silent.counters().commands > first; }, 5s));
    const auto busyBefore = busy.counters().commands;
    const auto tried = silent.counters().commands;
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return silent.counters().commands > tried; }, 5s));
    EXPECT_GE(busy.counters().commands - busyBefore, 20u);
    EXPECT_EQ(a.lastResult(), 4);
    EXPECT_EQ(b.lastResult(), 0);
    EXPECT_EQ(s.window().ringChanges.load(), 1); // the silent PLC's one line; none for the other
}

TEST(PollingLines, AWriteGoesOutWithinOneTransactionOfItsLineWhileTheOtherLineIsBusy) {
    PollingScenario s(2000);
    PlcSimulator& lineA = s.addLine("COM1", {1});
    PlcSimulator& lineB = s.addLine("COM2", {2});
    Plc& a = s.addPlc("A", 1, "COM1");
    Plc& b = s.addPlc("B", 2, "COM2");
    s.addTag(a, "R", vt::I2, MemoryArea::DM, 0);
    s.addTag(a, "W", vt::I2, MemoryArea::HR, 0);
    s.addTag(b, "R", vt::I2, MemoryArea::DM, 0);
    s.start();
    // Reads of 600 ms every second on both lines: the write, asked for while a read of line A
    // is under way, must go out when that read ends, while the next read is not yet due.
    GroupHandle g = s.addGroup(1000);
    s.addItems(g, {"A.R", "B.R"});
    ItemHandle w = s.addItem(g, "A.W", false);
    ASSERT_TRUE(s.waitForBlocks(a, 1));
    ASSERT_TRUE(s.waitForBlocks(b, 1));
    lineA.setFault(1, "RD", SimFault{SimFaultKind::Delay, 600, -1});
    lineB.setFault(2, "RD", SimFault{SimFaultKind::Delay, 600, -1});
    for (std::int16_t value = 1; value <= 3; ++value) {
        // Catch a read of line A just begun.
        const auto seen = lineA.counters().commands;
        ASSERT_TRUE(PollingScenario::waitUntil([&] { return lineA.counters().commands > seen; }));
        const auto before = lineA.counters().commands;
        const auto results = s.client().write(g, {w}, {Variant::fromI2(value)});
        ASSERT_EQ(results[0].result, kResultOk);
        EXPECT_EQ(lineA.word(1, MemoryArea::HR, 0), value);
        EXPECT_EQ(lineA.counters().commands - before, 1u) << "write " << value;
    }
}
