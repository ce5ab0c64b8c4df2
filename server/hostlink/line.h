// The byte line under the Host Link codec: a serial port in the server, an in-memory line in
// tests. The codec and SerialPort never know which one they talk to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The line settings of one port, in the values the configuration gives them.
struct SerialSettings {
    std::uint32_t baudRate = 9600;
    std::int32_t parity = 2;    // 0 none, 1 odd, 2 even
    std::int32_t stopBits = 2;  // 0 one stop bit, 2 two stop bits
    std::int32_t dataBits = 7;  // 5 to 8
};

inline constexpr std::int32_t kNoParity = 0;
inline constexpr std::int32_t kOddParity = 1;
inline constexpr std::int32_t kEvenParity = 2;
inline constexpr std::int32_t kOneStopBit = 0;
inline constexpr std::int32_t kTwoStopBits = 2;

enum class LineStatus {
    Ok,       // at least one byte moved
    Timeout,  // the deadline passed with nothing moved
    Failed,   // the operation failed; the line may still work
    Gone,     // the device has gone (hang-up, EIO, ENXIO): the handle is useless
};

class Line {
public:
    virtual ~Line() = default;

    // True when the line is (or already was) open.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Writes all bytes, giving up after timeoutMs.
    virtual LineStatus write(const std::uint8_t* bytes, std::size_t length, int timeoutMs) = 0;
    // Waits at most timeoutMs for the first byte, then returns what is there (up to capacity)
    // without waiting further. *received is set to the count read (0 unless Ok).
    virtual LineStatus read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                            std::size_t* received) = 0;
    // Bytes already in the input queue.
    virtual std::size_t bytesWaiting() = 0;
    // Drops whatever is in the input queue (a late reply of an abandoned transaction).
    virtual void discardInput() = 0;

    // The next open tries at once, even while the line waits out a back-off (a client's write).
    virtual void tryAtOnce() {}
    // Why the last open failed or the line went away; empty when nothing is known.
    virtual const std::string& lastError() const
    {
        static const std::string none;
        return none;
    }
};

// Makes the line behind a configured port name ("COM1") with its settings.
using LineFactory =
    std::function<std::unique_ptr<Line>(std::string_view portName, const SerialSettings& settings)>;
