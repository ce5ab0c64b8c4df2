// The simulator's own behaviour: image text, animation, fault words, and its side of the
// conversation as a raw line sees it.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "server/hostlink/serial_port.h"
#include "server/hostlink/serial_port_posix.h"
#include "tests/hostlink/memory_line.h"
#include "tools/plcsim/plc_simulator.h"

TEST(PlcSimImage, LoadsUnitsModesWordsAndFlags)
{
    PlcSimulator sim;
    std::istringstream in(
        "# demo\n"
        "DM 100: 1234 abcd 1\n"
        "unit 5\n"
        "mode RUN\n"
        "HR 2 : FFFF\n"
        "TG 3: 1 0 1   # flags\n");
    std::string error;
    ASSERT_TRUE(sim.loadImageText(in, &error)) << error;
    EXPECT_EQ(sim.words(0, MemoryArea::DM, 100, 3), (std::vector<std::uint16_t>{0x1234, 0xABCD, 1}));
    EXPECT_EQ(sim.word(5, MemoryArea::HR, 2), 0xFFFF);
    EXPECT_EQ(sim.words(5, MemoryArea::TG, 3, 3), (std::vector<std::uint16_t>{1, 0, 1}));
    EXPECT_EQ(sim.mode(5), SimMode::Run);
    EXPECT_EQ(sim.mode(0), SimMode::Monitor);
}

TEST(PlcSimImage, DumpReadsBackToTheSameMemory)
{
    PlcSimulator a;
    a.setWords(2, MemoryArea::IR, 0, {1, 2, 3});
    std::vector<std::uint16_t> many(40, 0x0F0F);
    a.setWords(2, MemoryArea::DM, 6000, many);
    a.setWord(2, MemoryArea::TG, 511, 1);
    a.setMode(2, SimMode::Program);
    std::stringstream text;
    a.dumpImage(text);
    PlcSimulator b;
    std::string error;
    ASSERT_TRUE(b.loadImageText(text, &error)) << error << "\n" << text.str();
    for (int code = 1; code <= 7; ++code) {
        const auto area = static_cast<MemoryArea>(code);
        EXPECT_EQ(b.words(2, area, 0, simAreaSize(area)), a.words(2, area, 0, simAreaSize(area))) << code;
    }
    EXPECT_EQ(b.mode(2), SimMode::Program);
}

TEST(PlcSimImage, BadLinesAreReportedWithTheirNumber)
{
    const char* bad[] = {"XX 1: 0001", "DM 6655: 1 2", "TG 0: 2", "DM 1: 12345", "unit 100", "mode FAST",
                         "DM: 1", "animate DM 0 wobble"};
    for (const char* line : bad) {
        PlcSimulator sim;
        std::istringstream in(std::string("# first\n") + line + "\n");
        std::string error;
        EXPECT_FALSE(sim.loadImageText(in, &error)) << line;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
    }
}

TEST(PlcSimAnimation, RulesChangeMemoryWhenDue)
{
    PlcSimulator sim;
    std::string error;
    for (const char* rule : {"DM 0 count 2 every 100", "DM 1 bcdcount", "DM 2 sine 1000 0 4000",
                             "IR 3 toggle 00F0", "TG 4 toggle"}) {
        auto a = parseSimAnimation(rule, 0, &error);
        ASSERT_TRUE(a) << error;
        sim.addAnimation(*a);
    }
    sim.setWord(0, MemoryArea::DM, 1, 0x0999);
    const auto t0 = std::chrono::steady_clock::now();
    sim.animate(t0);
    EXPECT_EQ(sim.word(0, MemoryArea::DM, 0), 2);
    EXPECT_EQ(sim.word(0, MemoryArea::DM, 1), 0x1000);
    EXPECT_EQ(sim.word(0, MemoryArea::IR, 3), 0x00F0);
    EXPECT_EQ(sim.word(0, MemoryArea::TG, 4), 1);
    sim.animate(t0 + std::chrono::milliseconds(50));  // nothing due yet
    EXPECT_EQ(sim.word(0, MemoryArea::DM, 0), 2);
    sim.animate(t0 + std::chrono::milliseconds(1001));
    EXPECT_EQ(sim.word(0, MemoryArea::DM, 0), 4);
    EXPECT_EQ(sim.word(0, MemoryArea::TG, 4), 0);
    // A quarter period after the start the sine stands near its peak.
    const auto peak = sim.word(0, MemoryArea::DM, 2);
    EXPECT_GT(*peak, 900);
    EXPECT_LE(*peak, 1000);

    EXPECT_FALSE(parseSimAnimation("DM 0 sine 1 2 0", 0));
    EXPECT_FALSE(parseSimAnimation("DM 99999 count", 0));
    EXPECT_FALSE(parseSimAnimation("DM 0 count every", 0));
}

TEST(PlcSimFaults, FaultWordsParse)
{
    struct Row { const char* text; SimFaultKind kind; int value; int remaining; };
    const Row rows[] = {
        {"silence", SimFaultKind::Silence, 0, -1},      {"delay=300", SimFaultKind::Delay, 300, -1},
        {"badfcs", SimFaultKind::BadFcs, 0, -1},        {"garble", SimFaultKind::GarbledFirstByte, 0, -1},
        {"noterm", SimFaultKind::MissingTerminator, 0, -1}, {"cut", SimFaultKind::CutMidFrame, 0, -1},
        {"dribble=3", SimFaultKind::Dribble, 3, -1},    {"endcode=0B", SimFaultKind::EndCode, 0x0B, -1},
        {"silencex2", SimFaultKind::Silence, 0, 2},     {"delay=10x1", SimFaultKind::Delay, 10, 1},
    };
    for (const Row& r : rows) {
        const auto f = parseSimFault(r.text);
        ASSERT_TRUE(f) << r.text;
        EXPECT_EQ(f->kind, r.kind) << r.text;
        EXPECT_EQ(f->value, r.value) << r.text;
        EXPECT_EQ(f->remaining, r.remaining) << r.text;
    }
    for (const char* bad : {"", "loud", "delay", "delay=x", "endcode=B", "silence=1", "silencex0"})
        EXPECT_FALSE(parseSimFault(bad)) << bad;
}

namespace {

// The host side of the simulator's pty, as raw frames.
struct RawHost {
    explicit RawHost(PlcSimulator& sim)
        : port("COM1", SerialSettings{}, std::make_unique<PosixSerialLine>(sim.devicePath(), SerialSettings{}))
    {
        CommTimeouts t;
        t.readTotalTimeoutConstant = 300;
        port.setTimeouts(t);
        opened = port.open();
    }
    std::string ask(const std::string& frame)
    {
        port.sendBytes(frame.data(), frame.size());
        std::uint8_t buffer[512];
        return std::string(reinterpret_cast<char*>(buffer), port.receiveFrame(buffer, sizeof buffer));
    }
    SerialPort port;
    bool opened = false;
};

} // namespace

TEST(PlcSimLine, RefusesBadFcsAndUnknownCommands)
{
    PlcSimulator sim;
    ASSERT_TRUE(sim.start());
    RawHost host(sim);
    ASSERT_TRUE(host.opened);
    EXPECT_EQ(host.ask("@00RD0000000100*\r"), withFcs("@00RD13"));
    EXPECT_EQ(sim.counters().fcsErrors, 1u);
    EXPECT_EQ(host.ask(withFcs("@00XZ")), withFcs("@00IC"));
    EXPECT_EQ(host.ask(withFcs("@00RD00000001")), withFcs("@00RD000000"));
}

TEST(PlcSimLine, LaterReplyFramesWaitForTheHostsCr)
{
    PlcSimulator sim;
    ASSERT_TRUE(sim.start());
    RawHost host(sim);
    ASSERT_TRUE(host.opened);
    const std::string first = host.ask(withFcs("@00RD00000040"));
    EXPECT_EQ(first.size(), 7u + 120 + 3);
    EXPECT_EQ(first.back(), '\r');
    EXPECT_NE(first[first.size() - 2], '*');
    // Nothing more comes until the CR is sent.
    std::uint8_t buffer[512];
    EXPECT_EQ(host.port.receiveFrame(buffer, sizeof buffer), 0u);
    const std::string second = host.ask("\r");
    EXPECT_EQ(second, withFcs(std::string(40, '0')));
}

TEST(PlcSimLine, FaultsHitOnlyTheirUnitAndRunOut)
{
    PlcSimulator::Options options;
    options.units = {0, 1};
    PlcSimulator sim(options);
    ASSERT_TRUE(sim.start());
    RawHost host(sim);
    ASSERT_TRUE(host.opened);
    sim.setFault(1, "*", {SimFaultKind::EndCode, 0x23, 2});
    EXPECT_EQ(host.ask(withFcs("@00RD00000001")), withFcs("@00RD000000"));
    EXPECT_EQ(host.ask(withFcs("@01RD00000001")), withFcs("@01RD23"));
    EXPECT_EQ(host.ask(withFcs("@01WD00000001")), withFcs("@01WD23"));
    EXPECT_EQ(host.ask(withFcs("@01RD00000001")), withFcs("@01RD000000"));
    const SimCounters c = sim.counters();
    EXPECT_EQ(c.commands, 4u);
    EXPECT_EQ(c.framesIn, 4u);
    EXPECT_EQ(c.framesOut, 4u);
    EXPECT_EQ(c.charsIn, 4u * 17);
    EXPECT_EQ(c.charsOut, 15u + 11 + 11 + 15);
}

TEST(PlcSimLine, BaudRateSetsTheWirePace)
{
    PlcSimulator::Options options;
    options.baud = 9600;
    PlcSimulator sim(options);
    ASSERT_TRUE(sim.start());
    RawHost host(sim);
    ASSERT_TRUE(host.opened);
    // 17 characters in and 7 + 120 + 4 out, at 11 bits each: about 170 ms.
    const auto start = std::chrono::steady_clock::now();
    const std::string reply = host.ask(withFcs("@00RD00000030"));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(reply.size(), 131u);
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 1000);
}
