#include "server/hostlink/serial_settings.h"

#include <array>
#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <utility>

namespace {

constexpr std::array<std::pair<std::uint32_t, speed_t>, 30> kBauds = {{
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
}};

} // namespace

bool baudConstant(std::uint32_t baudRate, speed_t* speed)
{
    for (const auto& [rate, constant] : kBauds) {
        if (rate == baudRate) {
            *speed = constant;
            return true;
        }
    }
    return false;
}

std::optional<SerialSettings> settingsOf(const termios& t)
{
    const speed_t speed = cfgetospeed(&t);
    for (const auto& [rate, constant] : kBauds) {
        if (constant != speed)
            continue;
        SerialSettings s;
        s.baudRate = rate;
        const tcflag_t size = t.c_cflag & CSIZE;
        s.dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
        s.parity = (t.c_cflag & PARENB) == 0 ? kNoParity : (t.c_cflag & PARODD) ? kOddParity : kEvenParity;
        s.stopBits = (t.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
        return s;
    }
    return std::nullopt;
}

bool buildTermios(const SerialSettings& settings, termios& t, std::string* error)
{
    auto fail = [&](std::string text) {
        if (error)
            *error = std::move(text);
        return false;
    };
    speed_t speed = 0;
    if (!baudConstant(settings.baudRate, &speed))
        return fail("baud rate " + std::to_string(settings.baudRate) + " is not supported");
    tcflag_t size = 0;
    switch (settings.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return fail("data bits " + std::to_string(settings.dataBits) + " is not supported");
    }
    if (settings.parity < 0 || settings.parity > 2)
        return fail("parity " + std::to_string(settings.parity) + " is not supported");

    termios n = t;
    n.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IGNPAR);
    n.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    n.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    n.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    n.c_cflag |= size | CREAD | CLOCAL;
    if (settings.parity != 0) {
        n.c_cflag |= PARENB;
        // A character with a parity error reads as NUL, so the frame fails its FCS.
        n.c_iflag |= INPCK;
        if (settings.parity == 1)
            n.c_cflag |= PARODD;
    }
    if (settings.stopBits != 0)
        n.c_cflag |= CSTOPB;
    n.c_cc[VMIN] = 0;
    n.c_cc[VTIME] = 0;
    cfsetispeed(&n, speed);
    cfsetospeed(&n, speed);
    t = n;
    return true;
}

bool isPseudoTerminal(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    // Unix98 pty slaves (136-143) and masters (128-135, /dev/ptmx is 5:2).
    const unsigned m = major(st.st_rdev);
    return (m >= 128 && m <= 143) || st.st_rdev == makedev(5, 2);
}

bool ptyHoldsSettings(const termios& asked, const termios& held)
{
    constexpr tcflag_t kPtyKeepsItsOwn = CSIZE | PARENB | PARODD | CMSPAR;
    return cfgetispeed(&asked) == cfgetispeed(&held) && cfgetospeed(&asked) == cfgetospeed(&held) &&
           asked.c_iflag == held.c_iflag && asked.c_oflag == held.c_oflag && asked.c_lflag == held.c_lflag &&
           (asked.c_cflag & ~kPtyKeepsItsOwn) == (held.c_cflag & ~kPtyKeepsItsOwn) &&
           asked.c_cc[VMIN] == held.c_cc[VMIN] && asked.c_cc[VTIME] == held.c_cc[VTIME];
}

int applyTermios(int fd, const termios& t, bool pseudoTerminal, const TermiosCalls& calls)
{
    if (calls.set(fd, TCSANOW, &t) == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL || !pseudoTerminal)
        return error;
    termios held{};
    if (calls.get(fd, &held) != 0)
        return error;
    return ptyHoldsSettings(t, held) ? 0 : error;
}
