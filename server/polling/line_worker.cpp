#include "server/polling/line_worker.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "server/polling/error_log.h"
#include "server/hostlink/hostlink_codec.h"
#include "server/polling/message_catalog.h"
#include "server/polling/message_ring.h"
#include "server/polling/plc_list.h"
#include "server/polling/request_completion.h"
#include "server/polling/tick_count.h"
#include "server/polling/main_window_link.h"
#include "server/tags/requests.h"
#include "server/toolkit/event_pool.h"

namespace {

constexpr auto kStopWait = std::chrono::milliseconds(5);
constexpr auto kRequestSettle = std::chrono::milliseconds(10);
constexpr auto kActivationSettle = std::chrono::milliseconds(100);
constexpr auto kRouteRebuildDelay = std::chrono::milliseconds(100);
// Settling waits for a burst to end, but a client that never stops queueing must not hold
// the line: after this many steps (100 ms of requests, 1 s of activations) the queue is taken.
constexpr int kRequestSettleSteps = 10;
constexpr int kActivationSettleSteps = 10;

// Sleeps in steps until length() stops growing, so that a burst is taken whole; at most
// maxSteps steps.
template <class Length>
void settle(Length length, std::chrono::milliseconds step, int maxSteps) {
    std::size_t before = length();
    for (int i = 0; i < maxSteps; ++i) {
        std::this_thread::sleep_for(step);
        const std::size_t now = length();
        if (now == before)
            return;
        before = now;
    }
}

} // namespace

LineWorker::LineWorker(PollingShared& shared, std::vector<Plc*> plcs, HostLinkChannel& channel)
    : shared_(shared), channel_(channel), cursor_(std::move(plcs)) {}

namespace {

Plc* plcOf(const PlcTag* tag) { return tag == nullptr ? nullptr : dynamic_cast<Plc*>(tag->owner()); }

bool contains(const std::vector<Plc*>& plcs, const Plc* plc) {
    return std::find(plcs.begin(), plcs.end(), plc) != plcs.end();
}

} // namespace

Plc* LineWorker::served(const PlcTag* tag) const {
    Plc* plc = plcOf(tag);
    return contains(cursor_.plcs(), plc) ? plc : nullptr;
}

bool LineWorker::takes(const PlcTag* tag) const {
    const Plc* plc = plcOf(tag);
    return contains(cursor_.plcs(), plc) || !contains(shared_.plcs, plc);
}

void LineWorker::run(SOCmnEvent& stop) {
    channel_.setRoutes(shared_.routes);
    cursor_.setCurrent(0);
    cursor_.setOpenPlcNumber(0);
    while (!stop.waitFor(kStopWait)) {
        runPass();
        ++passes_;
    }
    channel_.clearRoutes();
}

void LineWorker::runPass() {
    phaseWrites();
    phaseReads();
    phaseActivation();
    phaseCyclic();
    phaseStatus();
}

void LineWorker::selectFor(Plc& plc) {
    if (plc.plcNumber() != cursor_.openPlcNumber()) {
        // A closed port shows in the transactions' results. Only an open port counts as
        // selected, so that the cyclic pass selects again and reports 16, not 1.
        const HostLinkResult r = channel_.selectPlc(plc.plcNumber());
        cursor_.setOpenPlcNumber(r == kHostLinkOk ? plc.plcNumber() : 0);
    }
}

namespace {

// How many records of list the worker takes, under requestLock.
template <class Takes>
std::size_t queuedFor(const std::unique_ptr<RequestList>& list, Takes takes) {
    std::lock_guard lock(requestLock);
    if (!list)
        return 0;
    return std::size_t(std::count_if(list->begin(), list->end(), [&](const PendingRequest& r) { return takes(r.tag); }));
}

} // namespace

void LineWorker::phaseWrites() {
    serveRequests(writeRequestList, &Plc::addWriteRequest, &Plc::hasWriteBlocks, &Plc::executeWriteBlocks);
}

void LineWorker::phaseReads() {
    serveRequests(readRequestList, &Plc::addReadRequest, &Plc::hasReadBlocks, &Plc::executeReadBlocks);
}

void LineWorker::serveRequests(std::unique_ptr<RequestList>& list, void (Plc::*add)(PendingRequest&&),
                               bool (Plc::*has)() const, void (Plc::*execute)(HostLinkChannel&)) {
    auto mine = [this](const PlcTag* tag) { return takes(tag); };
    if (queuedFor(list, mine) == 0)
        return;
    settle([&] { return queuedFor(list, mine); }, kRequestSettle, kRequestSettleSteps);
    {
        std::lock_guard lock(requestLock);
        for (auto it = list->begin(); it != list->end();) {
            if (!takes(it->tag)) {
                ++it;
                continue;
            }
            if (Plc* plc = served(it->tag))
                (plc->*add)(std::move(*it));
            else
                completeFailed(*it, kQualityBad);
            it = list->erase(it);
        }
    }
    for (Plc* plc : cursor_.plcs()) {
        if (!(plc->*has)())
            continue;
        selectFor(*plc);
        (plc->*execute)(channel_);
    }
}

void LineWorker::phaseActivation() {
    auto queued = [this] {
        std::lock_guard lock(requestLock);
        if (!activationQueue)
            return std::size_t(0);
        return std::size_t(std::count_if(activationQueue->begin(), activationQueue->end(),
                                         [this](const ActivationChange& c) { return takes(c.tag); }));
    };
    if (queued() == 0)
        return;
    settle(queued, kActivationSettle, kActivationSettleSteps);
    std::lock_guard lock(requestLock);
    ActivationQueue changes;
    ActivationQueue others;
    for (ActivationChange& change : *activationQueue)
        (takes(change.tag) ? changes : others).push_back(std::move(change));
    activationQueue->swap(others);
    if (changes.size() >= 2) {
        std::stable_sort(changes.begin(), changes.end(),
                         [](const ActivationChange& a, const ActivationChange& b) {
                             if (a.tag->area() != b.tag->area())
                                 return a.tag->area() < b.tag->area();
                             return a.tag->address() < b.tag->address();
                         });
    }
    for (const ActivationChange& change : changes) {
        if (Plc* plc = served(change.tag))
            plc->applyActivationChange(change);
    }
    // Ranges are recomputed under the lock too: the status window reads them under it.
    for (Plc* plc : cursor_.plcs()) {
        if (plc->needsRecompute())
            plc->recomputeRanges();
    }
}

void LineWorker::phaseCyclic() {
    {
        auto lock = shared_.list->lock();
        Plc* current = cursor_.current();
        if (isLineFailure(previousResult_) || current->allBlocksServed()) {
            current->clearServedFlags();
            cursor_.advance();
        }
    }
    Plc& plc = *cursor_.current();
    HostLinkResult portResult = kHostLinkOk;
    if (plc.plcNumber() != cursor_.openPlcNumber()) {
        portResult = channel_.selectPlc(plc.plcNumber());
        // A port that did not open is tried again at the next pass; were it remembered as
        // open, the next read would fail with 1 and the PLC's result flip between 16 and 1,
        // writing a line each time.
        cursor_.setOpenPlcNumber(portResult == kHostLinkOk ? plc.plcNumber() : 0);
    }

    CyclicBlock* block = nullptr;
    bool blockOutcome = false; // the result is the block's own (read, or its port failed)
    HostLinkResult result;
    if (plc.hasCyclicBlocks()) {
        block = plc.nextCyclicBlock();
        if (portResult != kHostLinkOk) {
            result = portResult;
            block->setServed(true);
            blockOutcome = true;
        } else if (!block->hasTags()) {
            // Nothing to read: it counts as served and reports nothing.
            result = plc.lastResult();
            block->setServed(true);
        } else if (!block->isDue(tickCount())) {
            result = plc.lastResult();
            block->setServed(true);
        } else {
            result = block->read(channel_);
            blockOutcome = true;
        }
    } else {
        result = portResult != kHostLinkOk ? portResult : plc.lastResult();
    }
    previousResult_ = result;

    // What is reported is a change of the outcome of the block concerned (of the PLC when it
    // has no blocks): a block that keeps failing writes one line however its neighbours fare.
    bool reportIt;
    if (blockOutcome) {
        reportIt = result != block->lastOutcome() && result != kHostLinkOk;
        if (result != kHostLinkOk)
            block->setQuality(qualityForResult(result)); // also a tag new in the block
        block->setLastOutcome(result);
    } else {
        reportIt = block == nullptr && result != plc.lastResult() && result != kHostLinkOk;
    }
    if (reportIt)
        report(result, plc.name());
    if (result == plc.lastResult())
        return;

    plc.setLastResult(result);
    if (isLineFailure(result)) {
        // The line starts afresh: its route table is rebuilt (other lines keep theirs).
        channel_.clearRoutes();
        std::this_thread::sleep_for(kRouteRebuildDelay);
        // The whole PLC is unreachable: every block shares the outcome, so the next block
        // that fails the same way writes no further line.
        plc.setCyclicQuality(qualityForResult(result));
        plc.setCyclicOutcome(result);
        channel_.setRoutes(shared_.routes);
        cursor_.rewindKeepingIndex();
        cursor_.setOpenPlcNumber(0);
    }
}

void LineWorker::phaseStatus() {
    if (queuedFor(writeRequestList, [this](const PlcTag* tag) { return takes(tag); }) > 0)
        return;
    const auto now = PlcHealth::Clock::now();
    for (Plc* plc : cursor_.plcs()) {
        PlcHealth& health = plc->health();
        const char* header = health.due(!isLineFailure(plc->lastResult()), shared_.statusInterval, now);
        if (header == nullptr)
            continue;
        selectFor(*plc);
        std::string data;
        const HostLinkResult r = channel_.command(header, {}, true, &data);
        const auto changes = header[1] == 'M' ? health.modelAnswered(r, data, shared_.statusInterval, now)
                                              : health.statusAnswered(r, data, shared_.statusInterval, now);
        for (const std::string& change : changes)
            reportLine(formatLogText(change, plc->name()));
        return; // one a pass: the next pass serves writes and due reads first
    }
}

void LineWorker::report(HostLinkResult result, const std::string& plcName) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    reportLine(formatLogLine(result, plcName, local, *shared_.catalog));
}

void LineWorker::reportLine(const std::string& line) {
    // Lines of several workers go into the log and the ring whole and in one order, and the
    // window is told of each before the next comes (it shows the newest line).
    std::lock_guard lock(shared_.reportMutex);
    if (logToFile.load())
        appendLogLine(line, shared_.logFolder);
    shared_.ring->put(line);
    if (shared_.window != nullptr)
        shared_.window->messageRingChanged();
}
