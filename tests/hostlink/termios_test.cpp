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

namespace {

// What the fake driver answers: the errno of the set (0 for success) and what a read-back holds.
int fakeSetErrno = 0;
termios fakeHeld{};
int fakeSet(int, int, const termios*)
{
    if (fakeSetErrno == 0)
        return 0;
    errno = fakeSetErrno;
    return -1;
}
int fakeGet(int, termios* t)
{
    *t = fakeHeld;
    return 0;
}

} // namespace

TEST(SerialSettingsTermios, PseudoTerminalThatKeepsEightBitsNoParityStillOpens)
{
    const termios asked = built(SerialSettings{});  // 7E2: what a pty will not hold
    termios asPty = asked;
    asPty.c_cflag = (asPty.c_cflag & ~tcflag_t(CSIZE | PARENB)) | CS8;
    termios otherSpeed = asPty;
    cfsetispeed(&otherSpeed, B19200);
    cfsetospeed(&otherSpeed, B19200);
    termios cooked = asPty;
    cooked.c_lflag |= ICANON;
    termios oneStop = asPty;
    oneStop.c_cflag &= ~tcflag_t(CSTOPB);

    struct Case {
        const char* what;
        int setErrno;
        termios held;
        bool pty;
        int expected;
    } cases[] = {
        {"set succeeds", 0, asked, false, 0},
        {"pty drops size and parity", EINVAL, asPty, true, 0},
        {"a real port that drops them fails", EINVAL, asPty, false, EINVAL},
        {"pty at another speed", EINVAL, otherSpeed, true, EINVAL},
        {"pty left in canonical mode", EINVAL, cooked, true, EINVAL},
        {"pty with one stop bit", EINVAL, oneStop, true, EINVAL},
        {"other errors are never forgiven", EIO, asPty, true, EIO},
    };
    for (const auto& c : cases) {
        fakeSetErrno = c.setErrno;
        fakeHeld = c.held;
        EXPECT_EQ(applyTermios(3, asked, c.pty, {fakeSet, fakeGet}), c.expected) << c.what;
    }
}
