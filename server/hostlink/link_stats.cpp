#include "server/hostlink/link_stats.h"

#include <algorithm>

std::uint64_t LinkStats::PlcFigures::failureCount() const
{
    std::uint64_t n = 0;
    for (const auto& [result, count] : failures)
        n += count;
    return n;
}

void LinkStats::transaction(std::size_t plc, const std::string& port, std::size_t sent, std::size_t received,
                            Clock::duration took, HostLinkResult result, bool read)
{
    const double ms = std::chrono::duration<double, std::milli>(took).count();
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    PlcTotals& t = plcs_[plc];
    PlcFigures& f = t.figures;
    if (sent > 0)
        ++f.commands;
    f.charsSent += sent;
    f.charsReceived += received;
    if (result != kHostLinkOk)
        ++f.failures[result];
    if (received > 0) {
        f.lastMs = ms;
        t.totalMs += ms;
        ++t.timed;
        f.meanMs = t.totalMs / double(t.timed);
        f.maxMs = std::max(f.maxMs, ms);
    }
    if (read && result == kHostLinkOk)
        f.lastGoodRead = std::chrono::system_clock::now();
    Traffic& traffic = ports_[port];
    traffic.recent.emplace_back(now, sent + received);
    while (!traffic.recent.empty() && now - traffic.recent.front().first > kBusyWindow)
        traffic.recent.pop_front();
}

LinkStats::PlcFigures LinkStats::plc(std::size_t plc) const
{
    std::lock_guard lock(mutex_);
    auto it = plcs_.find(plc);
    return it == plcs_.end() ? PlcFigures{} : it->second.figures;
}

double LinkStats::busyPercent(const std::string& port, unsigned bitsPerCharacter, std::uint32_t baud) const
{
    if (baud == 0)
        return 0;
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    auto it = ports_.find(port);
    if (it == ports_.end())
        return 0;
    std::uint64_t chars = 0;
    for (const auto& [at, n] : it->second.recent)
        if (now - at <= kBusyWindow)
            chars += n;
    const double window = std::chrono::duration<double>(std::min<Clock::duration>(kBusyWindow, now - since_)).count();
    if (window <= 0)
        return 0;
    const double wireSeconds = double(chars) * bitsPerCharacter / double(baud);
    return std::min(100.0, 100.0 * wireSeconds / window);
}

void LinkStats::reset()
{
    std::lock_guard lock(mutex_);
    plcs_.clear();
    ports_.clear();
    since_ = Clock::now();
}
