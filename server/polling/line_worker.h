// One polling worker: serves its PLCs in turn on one channel, pass after pass. Each pass
// carries out the queued writes and device reads of its PLCs, applies their activation
// changes, and reads at most one due cyclic block. The server runs one worker per serial line
// (its PLCs are those on that port), or a single worker for every PLC.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "server/hostlink/hostlink_channel.h"
#include "server/hostlink/hostlink_result.h"
#include "server/polling/plc_cursor.h"
#include "server/tags/requests.h"

class MainWindowLink;
class MessageCatalog;
class MessageRing;
class Plc;
class PlcList;
class SOCmnEvent;

// What the workers share; owned by the polling thread.
struct PollingShared {
    MainWindowLink* window = nullptr;
    MessageRing* ring = nullptr;
    MessageCatalog* catalog = nullptr;
    std::filesystem::path logFolder; // where Log.err goes
    PlcList* list = nullptr;
    std::vector<Plc*> plcs;       // every PLC, in configuration order
    std::vector<PlcRoute> routes; // every PLC's, by PLC number
    std::mutex reportMutex;       // one line at a time into the ring and Log.err
    std::chrono::milliseconds statusInterval{10000}; // MS every so often; 0: never
};

class LineWorker {
public:
    // plcs: the PLCs this worker serves, in configuration order; channel: the one it runs
    // its transactions on (its routes are set by run()).
    LineWorker(PollingShared& shared, std::vector<Plc*> plcs, HostLinkChannel& channel);

    // Runs passes until stop is set; then clears the channel's routes.
    void run(SOCmnEvent& stop);
    std::uint64_t passes() const { return passes_; }

private:
    void runPass();
    void selectFor(Plc& plc);
    void phaseWrites();
    void phaseReads();
    // Phases 1 and 2: the worker's records of list go into blocks of their PLCs (add), then
    // each PLC that has blocks (has) runs them (execute).
    void serveRequests(std::unique_ptr<RequestList>& list, void (Plc::*add)(PendingRequest&&),
                       bool (Plc::*has)() const, void (Plc::*execute)(HostLinkChannel&));
    void phaseActivation();
    void phaseCyclic();
    // Phase 5: at most one status or model read of a PLC that answers, when it is due and no
    // client's write waits.
    void phaseStatus();
    void report(HostLinkResult result, const std::string& plcName);
    void reportLine(const std::string& line);

    // Whether a queued record of tag is this worker's: a tag of its PLCs, or one of no PLC
    // at all (completed as failed by whichever worker takes it first).
    bool takes(const PlcTag* tag) const;
    Plc* served(const PlcTag* tag) const;

    PollingShared& shared_;
    HostLinkChannel& channel_;
    PlcCursor cursor_;
    std::atomic<std::uint64_t> passes_{0};
    HostLinkResult previousResult_ = 0; // the result of the previous pass
};
