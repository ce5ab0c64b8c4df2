// SerialPort's framing of replies and its handling of a line that has gone.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

#include "server/hostlink/serial_port.h"
#include "server/hostlink/serial_port_posix.h"
#include "server/hostlink/serial_settings.h"
#include "tests/hostlink/memory_line.h"

namespace {

struct PortOnMemory {
    PortOnMemory()
    {
        auto owned = std::make_unique<MemoryLine>();
        line = owned.get();
        port = std::make_unique<SerialPort>("COM1", SerialSettings{}, std::move(owned));
        port->open();
    }
    std::string receive(std::size_t capacity = 512)
    {
        std::uint8_t buffer[600];
        const std::size_t n = port->receiveFrame(buffer, capacity);
        return std::string(reinterpret_cast<char*>(buffer), n);
    }
    MemoryLine* line;
    std::unique_ptr<SerialPort> port;
};

} // namespace

TEST(SerialPortFraming, BurstsUpToOneEndingInCrMakeOneFrame)
{
    PortOnMemory p;
    p.line->bursts = {"@00R", "D00\r12", "34*\r", "NEXT\r"};
    // A CR inside a chunk does not end the frame; a chunk ending in CR does.
    EXPECT_EQ(p.receive(), "@00RD00\r1234*\r");
    // What came after stays for the next reception.
    EXPECT_EQ(p.receive(), "NEXT\r");
    EXPECT_EQ(p.receive(), "");
}

TEST(SerialPortFraming, ReplyCutShortReturnsWhatCame)
{
    PortOnMemory p;
    p.line->bursts = {"@00RD", "0012"};
    EXPECT_EQ(p.receive(), "@00RD0012");
}

TEST(SerialPortFraming, ReceptionStopsAtTheBufferEnd)
{
    PortOnMemory p;
    p.line->bursts = {std::string(300, 'A'), std::string(300, 'B') + "\r"};
    const std::string frame = p.receive(512);
    EXPECT_EQ(frame.size(), 512u);
    EXPECT_EQ(frame.back(), 'B');
    // The rest of the oversized reply is left in the queue, not written past the buffer.
    EXPECT_EQ(p.line->bytesWaiting(), 89u);
}

TEST(SerialPortFraming, ClosedPortNeitherSendsNorReceives)
{
    PortOnMemory p;
    p.port->close();
    EXPECT_FALSE(p.port->sendBytes("x", 1));
    p.line->bursts = {"\r"};
    EXPECT_EQ(p.receive(), "");
    EXPECT_TRUE(p.port->open());
    EXPECT_EQ(p.line->openCalls, 2);
}

TEST(SerialPortFraming, GoneLineIsClosedSoThatItCanBeOpenedAgain)
{
    PortOnMemory p;
    p.line->writeStatus = LineStatus::Gone;
    EXPECT_FALSE(p.port->sendBytes("x", 1));
    EXPECT_FALSE(p.port->isOpen());

    EXPECT_TRUE(p.port->open());
    p.line->writeStatus = LineStatus::Ok;
    p.line->silentStatus = LineStatus::Gone;
    EXPECT_EQ(p.receive(), "");
    EXPECT_FALSE(p.port->isOpen());

    // A mere failure or silence leaves the port open.
    EXPECT_TRUE(p.port->open());
    p.line->silentStatus = LineStatus::Failed;
    EXPECT_EQ(p.receive(), "");
    EXPECT_TRUE(p.port->isOpen());
}

TEST(SerialPortTimeouts, DefaultsAreThoseOfTheLine)
{
    PortOnMemory p;
    const CommTimeouts& t = p.port->timeouts();
    EXPECT_EQ(t.readIntervalTimeout, 50);
    EXPECT_EQ(t.readTotalTimeoutMultiplier, 0);
    EXPECT_EQ(t.readTotalTimeoutConstant, 2000);
    EXPECT_EQ(t.writeTotalTimeoutMultiplier, 0);
    EXPECT_EQ(t.writeTotalTimeoutConstant, 1000);
}

namespace {

struct Pty {
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = ::ptsname(master);
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    std::string slave;
};

} // namespace

TEST(SerialPortOnPty, SilentLineReturnsNothingAfterAboutTwoSeconds)
{
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    SerialPort port("COM1", SerialSettings{}, std::make_unique<PosixSerialLine>(pty.slave, SerialSettings{}));
    ASSERT_TRUE(port.open());
    std::uint8_t buffer[512];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.receiveFrame(buffer, sizeof buffer), 0u);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 1900);
    EXPECT_LE(ms, 3000);
    EXPECT_TRUE(port.isOpen());
}

TEST(SerialPortOnPty, BytesTrickledWithinTheGapArriveAsOneFrame)
{
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    SerialPort port("COM1", SerialSettings{}, std::make_unique<PosixSerialLine>(pty.slave, SerialSettings{}));
    ASSERT_TRUE(port.open());
    std::thread writer([&] {
        for (const char* part : {"@00", "RD00", "*\r"}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            ASSERT_GT(::write(pty.master, part, std::strlen(part)), 0);
        }
    });
    std::uint8_t buffer[512];
    const std::size_t n = port.receiveFrame(buffer, sizeof buffer);
    writer.join();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), n), "@00RD00*\r");
}

TEST(SerialPortOnPty, HangUpOfTheOtherEndClosesThePort)
{
    auto pty = std::make_unique<Pty>();
    ASSERT_FALSE(pty->slave.empty());
    SerialPort port("COM1", SerialSettings{}, std::make_unique<PosixSerialLine>(pty->slave, SerialSettings{}));
    ASSERT_TRUE(port.open());
    pty.reset();
    std::uint8_t buffer[16];
    EXPECT_FALSE(port.sendBytes("@", 1) && port.receiveFrame(buffer, sizeof buffer) > 0);
    EXPECT_FALSE(port.isOpen());
}

TEST(SerialPortOnPty, MissingDeviceDoesNotOpen)
{
    PosixSerialLine line("/nonexistent/ttyS99", SerialSettings{});
    EXPECT_FALSE(line.open());
    EXPECT_FALSE(line.isOpen());
    EXPECT_NE(line.lastError().find("/nonexistent/ttyS99"), std::string::npos);
}

TEST(SerialPortOnPty, APtyThatHoldsTheSettingsOpensAndServesOneUserOnly)
{
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    // Leave the pty as a program that dies holding it leaves it: raw, 9600, two stop bits.
    {
        const int held = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(held, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(held, &t), 0);
        ASSERT_TRUE(buildTermios(SerialSettings{}, t));
        (void)::tcsetattr(held, TCSANOW, &t);
        ::close(held);
    }
    PosixSerialLine first(pty.slave, SerialSettings{});
    ASSERT_TRUE(first.open()) << first.lastError();

    PosixSerialLine second(pty.slave, SerialSettings{});
    EXPECT_FALSE(second.open());
    EXPECT_NE(second.lastError().find("the port is in use by another program"), std::string::npos)
        << second.lastError();

    const std::uint8_t byte = '@';
    ASSERT_EQ(first.write(&byte, 1, 1000), LineStatus::Ok);
    char got = 0;
    ASSERT_EQ(::read(pty.master, &got, 1), 1);
    EXPECT_EQ(got, '@');
    first.close();
    EXPECT_TRUE(second.open()) << second.lastError();
}
