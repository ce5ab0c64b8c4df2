// One configured serial port: its name and settings, the line behind it, and the two
// operations the codec needs (sendBytes, receiveFrame) with the port's time-outs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "server/hostlink/line.h"

// The five time-outs a port gets when it is opened, in milliseconds.
struct CommTimeouts {
    int readIntervalTimeout = 50;        // a quiet gap this long after a byte ends a read
    int readTotalTimeoutMultiplier = 0;
    int readTotalTimeoutConstant = 2000; // a read waits this long at most
    int writeTotalTimeoutMultiplier = 0;
    int writeTotalTimeoutConstant = 1000;
};

class SerialPort {
public:
    // name: at most 7 characters ("COM1"); the line comes from the channel's factory.
    SerialPort(std::string name, const SerialSettings& settings, std::unique_ptr<Line> line);

    const std::string& name() const { return name_; }
    const SerialSettings& settings() const { return settings_; }
    const CommTimeouts& timeouts() const { return timeouts_; }
    // Tests shorten the time-outs; the server keeps the defaults.
    void setTimeouts(const CommTimeouts& timeouts) { timeouts_ = timeouts; }

    // True when the port is (or already was) open.
    bool open();
    void close();
    bool isOpen() const;

    // One synchronous write of the whole string; the line's success.
    bool sendBytes(const void* bytes, std::size_t length);
    // Reads one frame into buffer from its start: chunks until one ends in CR, the line stays
    // quiet, or the buffer (capacity bytes) is full. Returns the count, 0 when nothing came.
    std::size_t receiveFrame(std::uint8_t* buffer, std::size_t capacity);
    // Drops stale input before a new command.
    void discardInput();

    Line* line() { return line_.get(); }

    // Characters this port has sent and received (the polling thread's own counts).
    std::uint64_t charactersSent() const { return sent_; }
    std::uint64_t charactersReceived() const { return received_; }
    // Open or not, and since when (milliseconds since 1970); safe from any thread.
    bool openNow() const { return openNow_.load(); }
    std::int64_t openedAtMs() const { return openedAtMs_.load(); }
    // Bits a character takes on the wire: start, data, parity, stop.
    unsigned bitsPerCharacter() const;

private:
    // One read in the manner of the port's time-outs: wait for the first byte, then go on
    // until want bytes came, the gap runs out, or the total time is used up.
    std::size_t readChunk(std::uint8_t* buffer, std::size_t want);
    void onLineStatus(LineStatus status);

    std::string name_;
    SerialSettings settings_;
    CommTimeouts timeouts_;
    std::unique_ptr<Line> line_;
    std::uint64_t sent_ = 0;
    std::uint64_t received_ = 0;
    std::atomic<bool> openNow_{false};
    std::atomic<std::int64_t> openedAtMs_{0};
};
