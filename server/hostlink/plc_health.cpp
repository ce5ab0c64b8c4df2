#include "server/hostlink/plc_health.h"

PlcHealthSnapshot PlcHealth::snapshot() const
{
    std::lock_guard lock(mutex_);
    return shown_;
}

void PlcHealth::stoppedAnswering()
{
    answering_ = false;
    modelWanted_ = true;
    std::lock_guard lock(mutex_);
    shown_.mode.reset();
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
    if (modelWanted_ && modelSupported_)
        return "MM";
    if (statusSupported_ && now >= nextStatus_)
        return "MS";
    return nullptr;
}

std::vector<std::string> PlcHealth::modelAnswered(HostLinkResult result, const std::string& data, Clock::time_point)
{
    if (result == kHostLinkNotSupported) {
        modelSupported_ = false;
        return {};
    }
    const auto code = result == kHostLinkOk ? parseModelData(data) : std::nullopt;
    if (!code) {
        if (isLineFailure(result))
            stoppedAnswering();
        else
            modelWanted_ = false; // an odd answer is not asked again until it answers anew
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
        if (isLineFailure(result))
            stoppedAnswering();
        return {};
    }
    std::vector<std::string> changes;
    if (lastStatus_) {
        const PlcStatusReply& was = *lastStatus_;
        if (status->modeKnown && (!was.modeKnown || was.mode != status->mode))
            changes.push_back(std::string("PLC mode ") + (was.modeKnown ? modeName(was.mode) : "unknown") + " -> " +
                              modeName(status->mode));
        if (status->fatal != was.fatal)
            changes.push_back(status->fatal ? "PLC fatal error" : "PLC fatal error cleared");
        if (status->fals != was.fals) {
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
