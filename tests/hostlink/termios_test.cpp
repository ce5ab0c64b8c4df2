#include <gtest/gtest.h>

#include <cstring>

#include "server/hostlink/serial_settings.h"

namespace {

termios built(const SerialSettings& s)
{
    termios t{};
    std::string error;
    EXPECT_TRUE(buildTermios(s, t, &error)) << error;
    return t;
}

} // namespace

TEST(SerialSettingsTermios, DefaultLineIsSevenEvenTwoAt9600Raw)
{
    const termios t = built(SerialSettings{});
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS7));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(SerialSettingsTermios, RawModeClearsEveryTranslation)
{
    termios t;
    std::memset(&t, 0xFF, sizeof t);
    ASSERT_TRUE(buildTermios(SerialSettings{}, t));
    for (tcflag_t flag : {ICANON, ECHO, ECHOE, ECHONL, ISIG, IEXTEN})
        EXPECT_FALSE(t.c_lflag & flag) << flag;
    for (tcflag_t flag : {IXON, IXOFF, IXANY, ICRNL, INLCR, IGNCR, ISTRIP, BRKINT, PARMRK, IGNPAR})
        EXPECT_FALSE(t.c_iflag & flag) << flag;
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
}

TEST(SerialSettingsTermios, EachSettingLandsInItsFlags)
{
    struct Row { SerialSettings s; tcflag_t size; bool parenb; bool parodd; bool cstopb; speed_t speed; };
    const Row rows[] = {
        {{19200, kNoParity, kOneStopBit, 8}, CS8, false, false, false, B19200},
        {{4800, kOddParity, kTwoStopBits, 7}, CS7, true, true, true, B4800},
        {{1200, kEvenParity, kOneStopBit, 6}, CS6, true, false, false, B1200},
        {{115200, kNoParity, kTwoStopBits, 5}, CS5, false, false, true, B115200},
    };
    for (const Row& r : rows) {
        const termios t = built(r.s);
        EXPECT_EQ(t.c_cflag & CSIZE, r.size) << r.s.baudRate;
        EXPECT_EQ(bool(t.c_cflag & PARENB), r.parenb) << r.s.baudRate;
        EXPECT_EQ(bool(t.c_cflag & PARODD), r.parodd) << r.s.baudRate;
        EXPECT_EQ(bool(t.c_iflag & INPCK), r.parenb) << r.s.baudRate;
        EXPECT_EQ(bool(t.c_cflag & CSTOPB), r.cstopb) << r.s.baudRate;
        EXPECT_EQ(cfgetospeed(&t), r.speed) << r.s.baudRate;
    }
}

TEST(SerialSettingsTermios, UnsupportedSettingsAreErrorsAndLeaveTheStructAlone)
{
    const SerialSettings bad[] = {
        {14400, kEvenParity, kTwoStopBits, 7},
        {9600, kEvenParity, kTwoStopBits, 9},
        {9600, kEvenParity, kTwoStopBits, 4},
        {9600, 3, kTwoStopBits, 7},
    };
    for (const SerialSettings& s : bad) {
        termios t{};
        t.c_cflag = 0x1234;
        std::string error;
        EXPECT_FALSE(buildTermios(s, t, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(t.c_cflag, tcflag_t(0x1234));
    }
}
