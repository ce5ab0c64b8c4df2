#include "server/figures/link_figures.h"

#include "common/format_vocab.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/polling/message_catalog.h"
#include "server/polling/message_ring.h"
#include "server/polling/plc_list.h"
#include "server/door_base/door_latin1.h"
#include "server/tags/requests.h"

#include <chrono>
#include <cmath>
#include <mutex>

namespace {

using json = nlohmann::json;

double rounded(double v) { return std::round(v * 10.0) / 10.0; }

long long millis(std::chrono::system_clock::time_point t)
{
    if (t == std::chrono::system_clock::time_point{})
        return 0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

double busyOf(const HostLinkChannel& channel, const std::string& portName)
{
    for (const auto& port : channel.ports())
        if (port->name() == portName)
            return channel.stats().busyPercent(port->name(), port->bitsPerCharacter(), port->settings().baudRate);
    return 0;
}

// What a PLC is and how it last answered.
json plcStatus(const Plc& plc)
{
    const HostLinkResult last = plc.lastResult();
    const PlcHealthSnapshot h = plc.health().snapshot();
    return {{"plc", latin1ToUtf8(plc.name())},
            {"unit", plc.unitNumber()},
            {"port", plc.portName()},
            {"lastResult", last},
            {"lastText", last == kHostLinkOk ? std::string()
                                             : latin1ToUtf8(MessageCatalog::instance().textFor(std::uint32_t(last)))},
            {"lastResultSince", plc.lastResultSinceMs()},
            {"mode", h.mode ? json(modeName(*h.mode)) : json(nullptr)},
            {"model", h.modelCode ? json(modelName(*h.modelCode)) : json(nullptr)},
            {"modelCode", h.modelCode ? json(*h.modelCode) : json(nullptr)},
            {"fatal", h.fatal},
            {"fals", h.fals},
            {"message", latin1ToUtf8(h.message)}};
}

} // namespace

json plcStatusList()
{
    json plcs = json::array();
    if (PlcList* list = plcList())
        for (const Plc* plc : list->plcs())
            plcs.push_back(plcStatus(*plc));
    return {{"ok", true}, {"plcs", plcs}};
}

json linkFigures(bool reset)
{
    json plcs = json::array(), blocks = json::array(), lines = json::array();
    HostLinkChannel* channel = HostLinkChannel::instance();
    PlcList* list = plcList();
    if (channel && reset)
        channel->stats().reset();
    if (channel && list) {
        for (Plc* plc : list->plcs()) {
            const LinkStats::PlcFigures f = channel->stats().plc(plc->plcNumber());
            json failures = json::object();
            for (const auto& [result, count] : f.failures)
                failures[std::to_string(result)] = count;
            json figures = plcStatus(*plc);
            figures.update(json{{"commands", f.commands},
                            {"charsSent", f.charsSent},
                            {"charsReceived", f.charsReceived},
                            {"failures", f.failureCount()},
                            {"failuresByResult", failures},
                            {"responseLastMs", rounded(f.lastMs)},
                            {"responseMeanMs", rounded(f.meanMs)},
                            {"responseMaxMs", rounded(f.maxMs)},
                            {"lastGoodRead", millis(f.lastGoodRead)},
                            {"lineBusyPct", rounded(busyOf(*channel, plc->portName()))}});
            plcs.push_back(std::move(figures));
            // Blocks change on the polling thread under requestLock.
            std::lock_guard lock(requestLock);
            for (const auto& b : plc->cyclicBlocks()) {
                if (reset)
                    b->resetFigures();
                blocks.push_back({{"plc", latin1ToUtf8(plc->name())},
                                  {"area", std::string(areaPrefix(b->area()))},
                                  {"first", b->firstWord()},
                                  {"count", b->wordCount()},
                                  {"rateMs", b->updateRate()},
                                  {"reads", b->reads()},
                                  {"achievedMeanMs", rounded(b->achievedMeanMs())},
                                  {"achievedMaxMs", rounded(b->achievedMaxMs())}});
            }
        }
        for (const auto& port : channel->ports())
            lines.push_back({{"port", port->name()},
                             {"open", port->openNow()},
                             {"openSince", port->openNow() ? port->openedAtMs() : 0},
                             {"baud", port->settings().baudRate},
                             {"bitsPerCharacter", port->bitsPerCharacter()},
                             {"busyPct", rounded(busyOf(*channel, port->name()))}});
    }
    return {{"ok", true}, {"plcs", plcs}, {"blocks", blocks}, {"lines", lines}};
}

json messageLines()
{
    const MessageRing::Lines ring = messageRing.lines();
    json lines = json::array();
    for (std::string line : ring.newestFirst) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        lines.push_back(latin1ToUtf8(line));
    }
    return {{"ok", true}, {"messages", lines}, {"written", ring.written}};
}
