// The Line of a real serial device (or a pseudo-terminal) through POSIX termios.
#pragma once

#include <string>
#include <termios.h>

#include "server/hostlink/line.h"

class PosixSerialLine : public Line {
public:
    // devicePath: "/dev/ttyUSB0", a pty slave, or a symlink to one.
    PosixSerialLine(std::string devicePath, const SerialSettings& settings);
    ~PosixSerialLine() override;

    // O_NOCTTY, an advisory lock (flock) and exclusive use (TIOCEXCL), raw settings, DTR and RTS raised. The old termios
    // is kept and put back on close. Settings the driver quietly keeps (a pty stays 8 bits,
    // no parity) are accepted.
    bool open() override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }

    LineStatus write(const std::uint8_t* bytes, std::size_t length, int timeoutMs) override;
    LineStatus read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                    std::size_t* received) override;
    std::size_t bytesWaiting() override;
    void discardInput() override;

    const std::string& devicePath() const { return devicePath_; }
    // errno text of the last failed open, for the line tool.
    const std::string& lastError() const override { return lastError_; }

private:
    std::string devicePath_;
    SerialSettings settings_;
    int fd_ = -1;
    termios saved_{};
    bool haveSaved_ = false;
    std::string lastError_;
};
