// The Line of a PLC behind a serial device server: raw TCP, Telnet with COM port control
// (RFC 2217), or a device server that calls in. A connection that drops is the line gone, as
// an unplugged adapter is; the next open connects again after a back-off.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "server/hostlink/line.h"
#include "server/hostlink/network_address.h"

class TelnetSession;

class TcpLine : public Line {
public:
    using Clock = std::chrono::steady_clock;

    // connectTimeoutMs bounds the name lookup, the connect and (RFC 2217) the device server's
    // answer to our settings; a device server that calls in is waited for as long.
    TcpLine(NetworkAddress address, const SerialSettings& settings, int connectTimeoutMs = 2000);
    ~TcpLine() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    LineStatus write(const std::uint8_t* bytes, std::size_t length, int timeoutMs) override;
    LineStatus read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs, std::size_t* received) override;
    std::size_t bytesWaiting() override;
    void discardInput() override;
    void tryAtOnce() override { nextAttempt_ = Clock::time_point{}; }
    const std::string& lastError() const override { return lastError_; }

    // The back-off after a failed connect or a dropped connection: 1 s doubling up to 30 s,
    // back to none once a reply came.
    static constexpr std::chrono::milliseconds kFirstBackOff{1000};
    static constexpr std::chrono::milliseconds kLastBackOff{30000};

private:
    bool connectOut(Clock::time_point deadline);
    bool takeCaller(Clock::time_point deadline);
    bool listening();
    int acceptAllowed();
    bool negotiate(Clock::time_point deadline);
    // Reads what the socket holds without waiting; false when the connection is gone.
    bool drain();
    void dropConnection();
    std::chrono::milliseconds nextBackOff();
    bool failed(std::string why);

    NetworkAddress address_;
    SerialSettings settings_;
    int connectTimeoutMs_;
    int fd_ = -1;
    int listenFd_ = -1;
    std::unique_ptr<TelnetSession> telnet_;
    std::string pending_; // decoded data not yet read
    std::string outbox_;  // Telnet answers the socket has not taken yet
    bool heard_ = false;  // the connection carried data
    std::vector<std::string> allowed_; // tcp-listen from=: the addresses let in
    bool peerGone_ = false;
    Clock::time_point nextAttempt_{};
    std::chrono::milliseconds backOff_{0};
    std::string lastError_;
};
