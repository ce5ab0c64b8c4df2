#include "server/hostlink/polling_thread.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <mutex>

#include "server/hostlink/error_log.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/hostlink/hostlink_codec.h"
#include "server/hostlink/message_catalog.h"
#include "server/hostlink/message_ring.h"
#include "server/hostlink/plc_list.h"
#include "server/hostlink/request_completion.h"
#include "server/hostlink/tick_count.h"
#include "server/runtime/main_window_link.h"
#include "server/runtime/requests.h"
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

// Sleeps in steps until the queue stops growing, so that a burst is taken whole; at most
// maxSteps steps.
void settle(std::size_t (*length)(), std::chrono::milliseconds step, int maxSteps) {
    std::size_t before = length();
    for (int i = 0; i < maxSteps; ++i) {
        std::this_thread::sleep_for(step);
        const std::size_t now = length();
        if (now == before)
            return;
        before = now;
    }
}

// The PLC of a queued record's tag, when it is one the thread serves.
Plc* owningPlc(const PlcTag* tag, const std::vector<Plc*>& served) {
    if (tag == nullptr)
        return nullptr;
    Plc* plc = dynamic_cast<Plc*>(tag->owner());
    return std::find(served.begin(), served.end(), plc) != served.end() ? plc : nullptr;
}

} // namespace

PollingThread::PollingThread(MainWindowLink* window) : PollingThread(window, Options{}) {}

PollingThread::PollingThread(MainWindowLink* window, Options options)
    : window_(window), options_(std::move(options)) {
    if (options_.plcs == nullptr)
        options_.plcs = &createPlcList();
    if (options_.channel == nullptr)
        options_.channel = &HostLinkChannel::create();
    if (options_.ring == nullptr)
        options_.ring = &messageRing;
    if (options_.catalog == nullptr)
        options_.catalog = &MessageCatalog::instance();
    if (!options_.useDataFolder)
        options_.dataFolder = moduleDirectory();
}

PollingThread::~PollingThread() { stop(); }

void PollingThread::start() {
    if (thread_.joinable())
        return;
    // Taken before the thread runs, so that a stop right after start is never missed.
    if (stopEvent_.load() == nullptr)
        stopEvent_ = getEventPool()->popEvent();
    running_ = true;
    thread_ = std::thread([this] {
        exitCode_ = run();
        running_ = false;
    });
}

void PollingThread::stop() {
    if (SOCmnEvent* event = stopEvent_.load())
        event->set();
    join();
    if (SOCmnEvent* event = stopEvent_.exchange(nullptr))
        getEventPool()->pushEvent(event);
}

void PollingThread::join() {
    if (thread_.joinable())
        thread_.join();
}

int PollingThread::run() {
    PlcList& plcs = *options_.plcs;
    if (plcs.empty()) {
        if (window_ != nullptr)
            window_->noPlcConfigured();
        return 0;
    }
    buildRoutes();
    plcs.setCurrent(0);
    plcs.setOpenPlcNumber(0);
    SOCmnEvent& stop = *stopEvent_.load();
    while (!stop.waitFor(kStopWait)) {
        runPass();
        ++passes_;
    }
    options_.channel->clearRoutes();
    return 0;
}

void PollingThread::buildRoutes() {
    PlcList& plcs = *options_.plcs;
    std::vector<PlcRoute> routes;
    std::uint16_t number = 0;
    for (Plc* plc : plcs.plcs()) {
        routes.push_back(PlcRoute::make(plc->unitNumber(), plc->portName()));
        plc->setPlcNumber(++number);
    }
    options_.channel->setRoutes(routes);
    options_.catalog->load(options_.dataFolder / "Vorlask.dat");
}

void PollingThread::runPass() {
    phaseWrites();
    phaseReads();
    phaseActivation();
    phaseCyclic();
}

void PollingThread::selectFor(Plc& plc) {
    PlcList& plcs = *options_.plcs;
    if (plc.plcNumber() != plcs.openPlcNumber()) {
        // A closed port shows in the transactions' results. Only an open port counts as
        // selected, so that the cyclic pass selects again and reports 16, not 1.
        const HostLinkResult r = options_.channel->selectPlc(plc.plcNumber());
        plcs.setOpenPlcNumber(r == kHostLinkOk ? plc.plcNumber() : 0);
    }
}

void PollingThread::phaseWrites() {
    if (writeRequestListLength() == 0)
        return;
    settle(&writeRequestListLength, kRequestSettle, kRequestSettleSteps);
    const std::vector<Plc*> plcs = options_.plcs->plcs();
    {
        std::lock_guard lock(requestLock);
        for (PendingRequest& r : *writeRequestList) {
            if (Plc* plc = owningPlc(r.tag, plcs))
                plc->addWriteRequest(std::move(r));
            else
                completeFailed(r, kQualityBad);
        }
        writeRequestList->clear();
    }
    for (Plc* plc : plcs) {
        if (!plc->hasWriteBlocks())
            continue;
        selectFor(*plc);
        plc->executeWriteBlocks(*options_.channel);
    }
}

void PollingThread::phaseReads() {
    if (readRequestListLength() == 0)
        return;
    settle(&readRequestListLength, kRequestSettle, kRequestSettleSteps);
    const std::vector<Plc*> plcs = options_.plcs->plcs();
    {
        std::lock_guard lock(requestLock);
        for (PendingRequest& r : *readRequestList) {
            if (Plc* plc = owningPlc(r.tag, plcs))
                plc->addReadRequest(std::move(r));
            else
                completeFailed(r, kQualityBad);
        }
        readRequestList->clear();
    }
    for (Plc* plc : plcs) {
        if (!plc->hasReadBlocks())
            continue;
        selectFor(*plc);
        plc->executeReadBlocks(*options_.channel);
    }
}

void PollingThread::phaseActivation() {
    if (activationQueueLength() == 0)
        return;
    settle(&activationQueueLength, kActivationSettle, kActivationSettleSteps);
    const std::vector<Plc*> plcs = options_.plcs->plcs();
    std::lock_guard lock(requestLock);
    ActivationQueue changes;
    changes.swap(*activationQueue);
    if (changes.size() >= 2) {
        std::stable_sort(changes.begin(), changes.end(),
                         [](const ActivationChange& a, const ActivationChange& b) {
                             if (a.tag->area() != b.tag->area())
                                 return a.tag->area() < b.tag->area();
                             return a.tag->address() < b.tag->address();
                         });
    }
    for (const ActivationChange& change : changes) {
        if (Plc* plc = owningPlc(change.tag, plcs))
            plc->applyActivationChange(change);
    }
    // Ranges are recomputed under the lock too: the status window reads them under it.
    for (Plc* plc : plcs) {
        if (plc->needsRecompute())
            plc->recomputeRanges();
    }
}

void PollingThread::phaseCyclic() {
    PlcList& plcs = *options_.plcs;
    {
        auto lock = plcs.lock();
        Plc* current = plcs.current();
        if (isLineFailure(previousResult_) || current->allBlocksServed()) {
            current->clearServedFlags();
            plcs.advance();
        }
    }
    Plc& plc = *plcs.current();
    HostLinkResult portResult = kHostLinkOk;
    if (plc.plcNumber() != plcs.openPlcNumber()) {
        portResult = options_.channel->selectPlc(plc.plcNumber());
        // A port that did not open is tried again at the next pass; were it remembered as
        // open, the next read would fail with 1 and the PLC's result flip between 16 and 1,
        // writing a line each time.
        plcs.setOpenPlcNumber(portResult == kHostLinkOk ? plc.plcNumber() : 0);
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
            result = block->read(*options_.channel);
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
        options_.channel->clearRoutes();
        std::this_thread::sleep_for(kRouteRebuildDelay);
        // The whole PLC is unreachable: every block shares the outcome, so the next block
        // that fails the same way writes no further line.
        plc.setCyclicQuality(qualityForResult(result));
        plc.setCyclicOutcome(result);
        buildRoutes();
        plcs.rewindKeepingIndex();
        plcs.setOpenPlcNumber(0);
    }
}

void PollingThread::report(HostLinkResult result, const std::string& plcName) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string line = formatLogLine(result, plcName, local, *options_.catalog);
    if (logToFile.load())
        appendLogLine(line, options_.dataFolder);
    options_.ring->put(line);
    if (window_ != nullptr)
        window_->messageRingChanged();
}
