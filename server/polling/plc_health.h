// What a PLC says about itself: its mode, model, fatal error and FALS flags and its FAL/FALS
// message, read with MS and MM by the polling worker that serves it and shown everywhere else.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/hostlink/plc_health_codec.h"

struct PlcHealthSnapshot {
    std::optional<PlcMode> mode;           // nothing while unknown (not asked yet, or not answering)
    std::optional<std::uint8_t> modelCode;
    bool fatal = false;
    bool fals = false;
    std::string message;
};

class PlcHealth {
public:
    using Clock = std::chrono::steady_clock;

    // Any thread.
    PlcHealthSnapshot snapshot() const;

    // ---- the polling worker that serves the PLC ----
    // What to ask now, if anything: "MM" once each time the PLC starts answering, "MS" every
    // interval (0: neither). Commands the PLC answered with "IC" are never asked again.
    const char* due(bool answering, std::chrono::milliseconds interval, Clock::time_point now);
    // The outcome of the command due() gave. The texts are the changes to report ("PLC mode
    // RUN -> PROGRAM"); the first status after start reports none.
    std::vector<std::string> modelAnswered(HostLinkResult result, const std::string& data,
                                           std::chrono::milliseconds interval, Clock::time_point now);
    std::vector<std::string> statusAnswered(HostLinkResult result, const std::string& data,
                                            std::chrono::milliseconds interval, Clock::time_point now);

private:
    void stoppedAnswering();
    void forgetShown();
    // A read that got no usable answer: the next one waits an interval.
    void failed(HostLinkResult result, std::chrono::milliseconds interval, Clock::time_point now);

    mutable std::mutex mutex_;
    PlcHealthSnapshot shown_;
    // The polling worker's own.
    bool answering_ = false;
    bool modelWanted_ = true;
    bool modelSupported_ = true;
    bool statusSupported_ = true;
    std::optional<PlcStatusReply> lastStatus_; // the last status read, kept across silences
    Clock::time_point nextStatus_{};
    Clock::time_point retryAt_{};
};
