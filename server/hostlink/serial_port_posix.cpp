#include "server/hostlink/serial_port_posix.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "server/hostlink/serial_settings.h"

namespace {

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Errors after which the handle will never work again.
bool deviceGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

} // namespace

PosixSerialLine::PosixSerialLine(std::string devicePath, const SerialSettings& settings)
    : devicePath_(std::move(devicePath)), settings_(settings)
{
}

PosixSerialLine::~PosixSerialLine()
{
    close();
}

bool PosixSerialLine::open()
{
    if (fd_ >= 0)
        return true;
    auto fail = [&](const char* what, int error) {
        lastError_ = devicePath_ + ": " + what + ": " + std::strerror(error);
        return false;
    };
    auto inUse = [&] {
        lastError_ = devicePath_ + ": the port is in use by another program";
        return false;
    };

    // Non-blocking so that opening does not wait for a carrier; all waits go through poll.
    const int fd = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY ? inUse() : fail("cannot open", errno);
    auto giveUp = [&](auto&& report) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return report();
    };
    // TIOCEXCL keeps other users out but not root; the advisory lock is what every serial
    // program on Linux checks, root included. Two servers never drive one line.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        return e == EWOULDBLOCK ? inUse() : fail("cannot lock", e);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int e = errno;
        return giveUp([&] { return fail("cannot take exclusive use", e); });
    }
    termios old{};
    if (::tcgetattr(fd, &old) != 0) {
        const int e = errno;
        return giveUp([&] { return fail("not a serial line", e); });
    }
    termios raw = old;
    std::string why;
    if (!buildTermios(settings_, raw, &why)) {
        return giveUp([&] {
            lastError_ = devicePath_ + ": " + why;
            return false;
        });
    }
    if (const int e = applyTermios(fd, raw, isPseudoTerminal(fd)); e != 0)
        return giveUp([&] { return fail("settings rejected", e); });
    // Lines without modem signals (a pty) refuse this; the port still works.
    int bits = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIS, &bits);
    ::tcflush(fd, TCIOFLUSH);

    saved_ = old;
    haveSaved_ = true;
    fd_ = fd;
    lastError_.clear();
    return true;
}

void PosixSerialLine::close()
{
    if (fd_ < 0)
        return;
    if (haveSaved_)
        (void)::tcsetattr(fd_, TCSANOW, &saved_);
    (void)::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    haveSaved_ = false;
}

LineStatus PosixSerialLine::write(const std::uint8_t* bytes, std::size_t length, int timeoutMs)
{
    if (fd_ < 0)
        return LineStatus::Failed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return deviceGone(errno) ? LineStatus::Gone : LineStatus::Failed;
        pollfd p{fd_, POLLOUT, 0};
        const int left = msUntil(deadline);
        if (left == 0)
            return LineStatus::Timeout;
        const int r = ::poll(&p, 1, left);
        if (r < 0 && errno != EINTR)
            return LineStatus::Failed;
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLOUT))
            return LineStatus::Gone;
    }
    return LineStatus::Ok;
}

LineStatus PosixSerialLine::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                                 std::size_t* received)
{
    *received = 0;
    if (fd_ < 0)
        return LineStatus::Failed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, msUntil(deadline));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return LineStatus::Failed;
        }
        if (r == 0)
            return LineStatus::Timeout;
        if (p.revents & POLLNVAL)
            return LineStatus::Gone;
        const ssize_t n = ::read(fd_, buffer, capacity);
        if (n > 0) {
            *received = static_cast<std::size_t>(n);
            return LineStatus::Ok;
        }
        // Readable but nothing to read: the other end has hung up.
        if (n == 0)
            return LineStatus::Gone;
        if (errno == EINTR || errno == EAGAIN) {
            if (msUntil(deadline) == 0)
                return LineStatus::Timeout;
            continue;
        }
        return deviceGone(errno) ? LineStatus::Gone : LineStatus::Failed;
    }
}

std::size_t PosixSerialLine::bytesWaiting()
{
    int waiting = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0)
        return 0;
    return static_cast<std::size_t>(waiting);
}

void PosixSerialLine::discardInput()
{
    if (fd_ >= 0)
        ::tcflush(fd_, TCIFLUSH);
}
