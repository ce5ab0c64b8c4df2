// Client writes and device reads through the polling thread: what goes on the line, what the
// PLC's memory holds afterwards and how the requests are answered.
#include "tests/e2e/polling_scenario.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "server/toolkit/result_codes.h"

namespace {

struct WriteCase {
    const char* name;
    std::vector<std::uint16_t> addresses; // in queue order
    std::uint64_t commands;
    std::uint64_t charsIn; // characters the PLC received
};

} // namespace

TEST(PollingWrites, OnlyForwardAdjacentWritesShareOneCommand) {
    const std::vector<WriteCase> cases = {
        // one frame: 9 header + 2 x 4 data + FCS, "*", CR
        {"DM10 then DM11", {10, 11}, 1, 9 + 8 + 4},
        {"DM11 then DM10", {11, 10}, 2, 2 * 17},
        // a word between them is never sent with a made-up value
        {"DM10 then DM12", {10, 12}, 2, 2 * 17},
        {"DM10 twice", {10, 10}, 1, 17},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        PollingScenario s;
        PlcSimulator& sim = s.addLine("COM1", {0});
        sim.setWords(0, MemoryArea::DM, 10, {0xAAAA, 0xBBBB, 0xCCCC});
        Plc& plc = s.addPlc("P1", 0, "COM1");
        for (std::uint16_t a : {10, 11, 12})
            s.addTag(plc, "W" + std::to_string(a), vt::I2, MemoryArea::DM, a);
        s.start();
        GroupHandle g = s.addGroup(1000, false);
        std::vector<ItemHandle> items;
        std::vector<Variant> values;
        for (std::size_t i = 0; i < c.addresses.size(); ++i) {
            items.push_back(s.addItem(g, "P1.W" + std::to_string(c.addresses[i]), false));
            values.push_back(Variant::fromI2(static_cast<std::int16_t>(100 + i)));
        }
        const auto results = s.client().write(g, items, values);
        ASSERT_EQ(results.size(), c.addresses.size());
        for (const WriteResult& r : results)
            EXPECT_EQ(r.result, kResultOk) << r.error;
        const SimCounters counters = sim.counters();
        EXPECT_EQ(counters.commands, c.commands);
        EXPECT_EQ(counters.charsIn, c.charsIn);
        // The last write to a word wins; words no request named keep their value.
        std::map<std::uint16_t, std::uint16_t> expected = {{10, 0xAAAA}, {11, 0xBBBB}, {12, 0xCCCC}};
        for (std::size_t i = 0; i < c.addresses.size(); ++i)
            expected[c.addresses[i]] = static_cast<std::uint16_t>(100 + i);
        for (auto [address, value] : expected)
            EXPECT_EQ(sim.word(0, MemoryArea::DM, address), value) << "DM" << address;
    }
}

TEST(PollingWrites, BitWriteReadsTheWordFirstAndChangesOnlyItsBit) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    sim.setWord(0, MemoryArea::DM, 5, 0xF0F0);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "Bit3", vt::BOOL, MemoryArea::DM, 5, 3);
    s.start();
    GroupHandle g = s.addGroup(1000, false);
    ItemHandle item = s.addItem(g, "P1.Bit3", false);

    auto results = s.client().write(g, {item}, {Variant::fromBool(true)});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].result, kResultOk);
    EXPECT_EQ(sim.word(0, MemoryArea::DM, 5), 0xF0F8);
    EXPECT_EQ(sim.counters().commands, 2u); // RD then WD
    EXPECT_EQ(sim.counters().charsIn, 17u + 17u);

    results = s.client().write(g, {item}, {Variant::fromBool(false)});
    EXPECT_EQ(results[0].result, kResultOk);
    EXPECT_EQ(sim.word(0, MemoryArea::DM, 5), 0xF0F0);
}

TEST(PollingWrites, BitWriteFailsWithNothingWrittenWhenItsReadFails) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    sim.setWord(0, MemoryArea::DM, 5, 0x1234);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "Bit3", vt::BOOL, MemoryArea::DM, 5, 3);
    s.addTag(plc, "Next", vt::I2, MemoryArea::DM, 6);
    s.start();
    GroupHandle g = s.addGroup(1000, false);
    ItemHandle bit = s.addItem(g, "P1.Bit3", false);
    ItemHandle next = s.addItem(g, "P1.Next", false);
    sim.setFault(0, "RD", SimFault{SimFaultKind::EndCode, 0x04, 1});

    const auto results = s.client().write(g, {bit, next}, {Variant::fromBool(true), Variant::fromI2(7)});
    ASSERT_EQ(results.size(), 2u);
    for (const WriteResult& r : results) {
        EXPECT_EQ(r.result, kResultFail);
        EXPECT_TRUE(r.qualityValid);
        EXPECT_EQ(r.quality, 0x00);
    }
    EXPECT_EQ(sim.counters().commands, 1u); // the read only: no write command
    EXPECT_EQ(sim.word(0, MemoryArea::DM, 5), 0x1234);
    EXPECT_EQ(sim.word(0, MemoryArea::DM, 6), 0);
}

TEST(PollingWrites, RefusedWriteFailsWithTheQualityOfItsResult) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "W", vt::I2, MemoryArea::DM, 10);
    s.start();
    GroupHandle g = s.addGroup(1000, false);
    ItemHandle item = s.addItem(g, "P1.W", false);
    sim.setFault(0, "WD", SimFault{SimFaultKind::EndCode, 0x01, 1}); // RUN mode: 70
    const auto results = s.client().write(g, {item}, {Variant::fromI2(5)});
    EXPECT_EQ(results[0].result, kResultFail);
    EXPECT_TRUE(results[0].qualityValid);
    EXPECT_EQ(results[0].quality, 0x0C);
    // A failed write does not touch the PLC's cyclic result and writes no line.
    EXPECT_EQ(plc.lastResult(), 0);
    EXPECT_EQ(s.window().ringChanges.load(), 0);
}

TEST(PollingReads, DeviceReadsOfNearbyTagsShareOneCommand) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    sim.setWord(0, MemoryArea::DM, 200, 11);
    sim.setWord(0, MemoryArea::DM, 220, 22);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "A", vt::I2, MemoryArea::DM, 200);
    s.addTag(plc, "B", vt::I2, MemoryArea::DM, 220);
    s.addTag(plc, "C", vt::I2, MemoryArea::DM, 300);
    s.start();
    GroupHandle g = s.addGroup(1000, false);
    auto items = s.addItems(g, {"P1.A", "P1.B", "P1.C"}, false);
    const auto states = s.client().read(g, items, DataSource::device);
    ASSERT_EQ(states.size(), 3u);
    EXPECT_EQ(states[0].value.asInt64(), 11);
    EXPECT_EQ(states[1].value.asInt64(), 22);
    EXPECT_EQ(states[0].quality, 0xC0);
    EXPECT_EQ(sim.counters().commands, 2u); // DM200-DM220 together, DM300 alone
    EXPECT_EQ(sim.counters().charsOut, (11u + 4u * 21u) + (11u + 4u));
}

TEST(PollingReads, FailedDeviceReadShowsInTheQuality) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "A", vt::I2, MemoryArea::DM, 200);
    s.start();
    GroupHandle g = s.addGroup(1000, false);
    ItemHandle item = s.addItem(g, "P1.A", false);
    sim.setFault(0, "RD", SimFault{SimFaultKind::EndCode, 0x04, 1});
    const auto states = s.client().read(g, {item}, DataSource::device);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].quality, 0x1C);
    EXPECT_EQ(plc.lastResult(), 0);
}

TEST(PollingWrites, LongerArrayWriteRegrowsItsCyclicBlock) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "Arr", vt::I2 | vt::ARRAY, MemoryArea::DM, 50, 0, 4);
    s.start();
    GroupHandle g = s.addGroup(100);
    ItemHandle item = s.addItem(g, "P1.Arr");
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    ASSERT_EQ(s.blockLabels(plc), std::vector<std::string>{"DM50-LEN4"});
    Variant value = Variant::makeArray(vt::I2, 6);
    for (std::size_t i = 0; i < 6; ++i)
        value.setAt(i, Variant::fromI2(static_cast<std::int16_t>(i + 1)));
    const auto results = s.client().write(g, {item}, {value});
    EXPECT_EQ(results[0].result, kResultOk);
    EXPECT_EQ(sim.words(0, MemoryArea::DM, 50, 6), (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6}));
    // Later scans read the new length.
    EXPECT_EQ(s.blockLabels(plc), std::vector<std::string>{"DM50-LEN6"});
}

TEST(PollingWrites, WriteDuringACyclicReadGoesOutRightAfterIt) {
    using namespace std::chrono;
    PollingScenario s(2000);
    PlcSimulator& sim = s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "R", vt::I2, MemoryArea::DM, 0);
    s.addTag(plc, "W", vt::I2, MemoryArea::HR, 0);
    s.start();
    GroupHandle g = s.addGroup(10); // always due
    s.addItem(g, "P1.R");
    ItemHandle w = s.addItem(g, "P1.W", false);
    ASSERT_TRUE(s.waitForBlocks(plc, 1));
    sim.setFault(0, "RD", SimFault{SimFaultKind::Delay, 300, -1});
    // Catch a read just begun.
    const auto seen = sim.counters().commands;
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return sim.counters().commands > seen; }));
    const auto t0 = steady_clock::now();
    const auto results = s.client().write(g, {w}, {Variant::fromI2(9)});
    const auto took = duration_cast<milliseconds>(steady_clock::now() - t0);
    EXPECT_EQ(results[0].result, kResultOk);
    EXPECT_EQ(sim.word(0, MemoryArea::HR, 0), 9);
    // The rest of the read in progress, then the write: not a second 300 ms read first.
    EXPECT_LT(took.count(), 500) << took.count();
}

TEST(PollingWrites, AClientThatNeverStopsWritingDoesNotStopTheCyclicReads) {
    PollingScenario s;
    PlcSimulator& sim = s.addLine("COM1", {0});
    Plc& plc = s.addPlc("P1", 0, "COM1");
    PlcTag& r = s.addTag(plc, "R", vt::I2, MemoryArea::DM, 0);
    s.addTag(plc, "W", vt::I2, MemoryArea::HR, 0);
    sim.setWord(0, MemoryArea::DM, 0, 1);
    s.start();
    GroupHandle g = s.addGroup(100);
    s.addItem(g, "P1.R");
    ItemHandle w = s.addItem(g, "P1.W", false);
    auto value = [&] {
        Variant v;
        r.getCache()->getValue(v);
        return v.asInt64();
    };
    ASSERT_TRUE(PollingScenario::waitUntil([&] { return value() == 1; }));

    // A write every 5 ms, never waiting for the answers: the queue never stops growing.
    std::atomic<bool> writing{true};
    std::atomic<bool> seenWhileWriting{false};
    std::thread writer([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (std::int16_t n = 0; writing && std::chrono::steady_clock::now() < end; ++n) {
            s.client().writeAsync(g, {w}, {Variant::fromI2(n)}, {});
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        writing = false;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.setWord(0, MemoryArea::DM, 0, 2);
    PollingScenario::waitUntil([&] {
        seenWhileWriting = value() == 2 && writing;
        return seenWhileWriting.load();
    }, std::chrono::seconds(20));
    writing = false;
    writer.join();
    EXPECT_TRUE(seenWhileWriting) << "the cyclic read waited for the writes to end";
}
