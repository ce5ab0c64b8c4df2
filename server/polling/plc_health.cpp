#include "server/polling/plc_health.h"

PlcHealthSnapshot PlcHealth::snapshot() const
{
    std::lock_guard lock(mutex_);
    return shown_;
}

void PlcHealth::forgetShown()
{
    std::lock_guard lock(mutex_);
    const std::optional<std::uint8_t> model = shown_.modelCode;
    shown_ = PlcHealthSnapshot{};
    shown_.modelCode = model; // the model is asked again, and shown until then
}

void PlcHealth::stoppedAnswering()
{
    answering_ = false;
    modelWanted_ = true;
    forgetShown();
}

const char* PlcHealth::due(bool answering, std::chrono::milliseconds interval, Clock::time_point now)
{
    if (!answering || interval.count() == 0) {
        if (answering_)
            stoppedAnswering();
        return nullptr;
    }
    if (!answering_) {
        answering_ = true;
        nextStatus_ = now; // the mode as soon as it answers
    }
    // After a read that failed, nothing until the next interval: a PLC that keeps failing its
    // status reads costs one time-out an interval, not one a pass.
    if (now < retryAt_)
        return nullptr;
    if (modelWanted_ && modelSupported_)
        return "MM";
    if (statusSupported_ && now >= nextStatus_)
        return "MS";
    return nullptr;
}

void PlcHealth::failed(HostLinkResult result, std::chrono::milliseconds interval, Clock::time_point now)
{
    retryAt_ = now + interval;
    if (isLineFailure(result))
        forgetShown(); // not answering now: its mode is not known
}

std::vector<std::string> PlcHealth::modelAnswered(HostLinkResult result, const std::string& data,
                                                  std::chrono::milliseconds interval, Clock::time_point now)
{
    if (result == kHostLinkNotSupported) {
        modelSupported_ = false;
        return {};
    }
    const auto code = result == kHostLinkOk ? parseModelData(data) : std::nullopt;
    if (!code) {
        failed(result, interval, now);
        return {};
    }
    modelWanted_ = false;
    std::lock_guard lock(mutex_);
    shown_.modelCode = code;
    return {};
}

std::vector<std::string> PlcHealth::statusAnswered(HostLinkResult result, const std::string& data,
                                                   std::chrono::milliseconds interval, Clock::time_point now)
{
    nextStatus_ = now + interval;
    if (result == kHostLinkNotSupported) {
        statusSupported_ = false;
        return {};
    }
    const auto status = result == kHostLinkOk ? parseStatusData(data) : std::nullopt;
    if (!status) {
        failed(result, interval, now);
        return {};
    }
    std::vector<std::string> changes;
    if (lastStatus_) {
        const PlcStatusReply& was = *lastStatus_;
        if (was.modeKnown != status->modeKnown || (status->modeKnown && was.mode != status->mode))
            changes.push_back(std::string("PLC mode ") + (was.modeKnown ? modeName(was.mode) : "unknown") + " -> " +
                              (status->modeKnown ? modeName(status->mode) : "unknown"));
        if (status->fatal != was.fatal)
            changes.push_back(status->fatal ? "PLC fatal error" : "PLC fatal error cleared");
        if (status->fals != was.fals || (status->fals && status->message != was.message)) {
            std::string text = status->fals ? "PLC FALS" : "PLC FALS cleared";
            if (status->fals && !status->message.empty())
                text += ": " + status->message;
            changes.push_back(text);
        }
    }
    lastStatus_ = status;
    std::lock_guard lock(mutex_);
    shown_.mode = status->modeKnown ? std::optional<PlcMode>(status->mode) : std::nullopt;
    shown_.fatal = status->fatal;
    shown_.fals = status->fals;
    shown_.message = status->message;
    return changes;
}
