// What the PLCs and the lines have done: commands, characters, failures by result, response
// times, the share of each line's wire time in use. Kept by the polling thread as it goes (a
// few additions under a short lock per transaction), read by the door and the status window.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "server/hostlink/hostlink_result.h"

class LinkStats {
public:
    using Clock = std::chrono::steady_clock;

    struct PlcFigures {
        std::uint64_t commands = 0;
        std::uint64_t charsSent = 0;
        std::uint64_t charsReceived = 0;
        std::map<HostLinkResult, std::uint64_t> failures; // transactions failed, by result
        double lastMs = 0, meanMs = 0, maxMs = 0;       // command's first byte to reply's last
        std::chrono::system_clock::time_point lastGoodRead{}; // none yet: the epoch
        std::uint64_t failureCount() const;
    };

    // One transaction of PLC number plc on port: characters each way, how long it took, its
    // result; read says it was a read (its success is a good read).
    void transaction(std::size_t plc, const std::string& port, std::size_t sent, std::size_t received,
                     Clock::duration took, HostLinkResult result, bool read);

    PlcFigures plc(std::size_t plc) const;
    // Share of the last 10 s (less since a reset or the start) in which port's wire carried
    // characters: characters x bits per character / baud.
    double busyPercent(const std::string& port, unsigned bitsPerCharacter, std::uint32_t baud) const;
    // Starts every figure afresh.
    void reset();

    static constexpr std::chrono::seconds kBusyWindow{10};

private:
    struct PlcTotals {
        PlcFigures figures;
        double totalMs = 0;
        std::uint64_t timed = 0;
    };
    struct Traffic {
        std::deque<std::pair<Clock::time_point, std::size_t>> recent; // end of transaction, characters
    };

    mutable std::mutex mutex_;
    std::map<std::size_t, PlcTotals> plcs_;
    std::map<std::string, Traffic> ports_;
    Clock::time_point since_ = Clock::now();
};
