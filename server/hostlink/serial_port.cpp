#include "server/hostlink/serial_port.h"

#include <algorithm>
#include <chrono>

#include "server/hostlink/hostlink_codec.h"

namespace {

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

SerialPort::SerialPort(std::string name, const SerialSettings& settings, std::unique_ptr<Line> line)
    : name_(std::move(name)), settings_(settings), line_(std::move(line))
{
}

bool SerialPort::open()
{
    if (!line_)
        return false;
    if (line_->isOpen())
        return true;
    if (!line_->open())
        return false;
    openNow_ = true;
    openedAtMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    return true;
}

void SerialPort::close()
{
    if (line_)
        line_->close();
    openNow_ = false;
}

unsigned SerialPort::bitsPerCharacter() const
{
    return 1u + settings_.dataBits + (settings_.parity == kNoParity ? 0u : 1u) +
           (settings_.stopBits == kOneStopBit ? 1u : 2u);
}

bool SerialPort::isOpen() const
{
    return line_ && line_->isOpen();
}

void SerialPort::onLineStatus(LineStatus status)
{
    // A vanished device (USB adapter pulled, pty master closed) never comes back on the same
    // handle: close it so that the next selection opens the device afresh.
    if (status == LineStatus::Gone)
        close();
}

bool SerialPort::sendBytes(const void* bytes, std::size_t length)
{
    if (!isOpen())
        return false;
    const int timeout = timeouts_.writeTotalTimeoutConstant +
                        timeouts_.writeTotalTimeoutMultiplier * static_cast<int>(length);
    const LineStatus status =
        line_->write(static_cast<const std::uint8_t*>(bytes), length, timeout);
    onLineStatus(status);
    if (status == LineStatus::Ok)
        sent_ += length;
    return status == LineStatus::Ok;
}

void SerialPort::discardInput()
{
    if (isOpen())
        line_->discardInput();
}

std::size_t SerialPort::readChunk(std::uint8_t* buffer, std::size_t want)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(
        timeouts_.readTotalTimeoutConstant +
        timeouts_.readTotalTimeoutMultiplier * static_cast<int>(want));
    std::size_t got = 0;
    while (got < want) {
        const int left = msUntil(deadline);
        if (left == 0 && got > 0)
            break;
        const int wait = got == 0 ? left : std::min(left, timeouts_.readIntervalTimeout);
        std::size_t n = 0;
        const LineStatus status = line_->read(buffer + got, want - got, wait, &n);
        if (status != LineStatus::Ok) {
            onLineStatus(status);
            break;
        }
        got += n;
        if (got == 0 && msUntil(deadline) == 0)
            break;
    }
    return got;
}

std::size_t SerialPort::receiveFrame(std::uint8_t* buffer, std::size_t capacity)
{
    std::size_t count = 0;
    while (isOpen() && count < capacity) {
        // Ask for what is already waiting, at least one byte, never beyond the buffer's end.
        const std::size_t want = std::min(std::max<std::size_t>(line_->bytesWaiting(), 1),
                                          capacity - count);
        const std::size_t n = readChunk(buffer + count, want);
        if (n == 0)
            break;
        count += n;
        if (buffer[count - 1] == static_cast<std::uint8_t>(kHostLinkCr))
            break;
    }
    received_ += count;
    return count;
}
