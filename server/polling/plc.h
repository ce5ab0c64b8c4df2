// One configured PLC: its identity on the line, its last cyclic result, and the blocks that
// gather its tags and queued requests. Created by the configuration loader, served only by
// the polling thread; the status window walks its cyclic blocks under requestLock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "server/polling/cyclic_block.h"
#include "server/hostlink/hostlink_result.h"
#include "server/polling/plc_health.h"
#include "server/polling/read_block.h"
#include "server/polling/write_block.h"
#include "server/tags/plc_tag.h"
#include "server/tags/plc_tag_owner.h"
#include "server/tags/requests.h"
#include "server/toolkit/cmn_object.h"

class HostLinkChannel;

inline constexpr std::size_t kPlcPortNameMax = 15;

class Plc : public PlcTagOwner {
public:
    // name: the PLC's OPC name; portName is kept up to 15 characters.
    Plc(std::string name, std::uint8_t unitNumber, std::string portName);

    const std::string& name() const { return name_; }
    std::uint8_t unitNumber() const { return unitNumber_; }
    const std::string& portName() const { return portName_; }
    // 1-based position in the PLC list, given each time the route table is built.
    std::uint16_t plcNumber() const { return plcNumber_.load(std::memory_order_relaxed); }
    void setPlcNumber(std::uint16_t number) { plcNumber_ = number; }
    // The result of the PLC's last cyclic pass; 0 when created.
    HostLinkResult lastResult() const { return lastResult_.load(std::memory_order_relaxed); }
    void setLastResult(HostLinkResult result);
    // When the last result began (milliseconds since 1970; 0 before the first change).
    std::int64_t lastResultSinceMs() const { return lastResultSinceMs_.load(std::memory_order_relaxed); }

    // ---- cyclic blocks (polling thread, requestLock held) ----
    // Puts the tag into a block at this rate: back into the block it recorded when that still
    // fits, else the first fitting block, else a new one. False when the tag occupies no words.
    bool addTagToCyclicBlocks(PlcTag& tag, std::uint32_t updateRate);
    // Takes the tag out of its block; an emptied block is destroyed, any other one is queued
    // for a range recompute.
    void removeTagFromCyclicBlock(PlcTag& tag);
    // Applies one queued activation change to the tag it names (which belongs to this PLC).
    void applyActivationChange(const ActivationChange& change);
    // The tag's length changed while it sits in a cyclic block: out, and in again at that
    // block's rate.
    void readdResizedTag(PlcTag& tag) override;
    bool needsRecompute() const { return !recompute_.empty(); }
    void recomputeRanges();

    // ---- the polling thread's round over the cyclic blocks ----
    // Advances the served-block index (wrapping) and returns that block; nullptr when none.
    CyclicBlock* nextCyclicBlock();
    // True also when there are no blocks.
    bool allBlocksServed() const;
    void clearServedFlags();
    void setCyclicQuality(std::uint16_t quality);
    void setCyclicOutcome(HostLinkResult result);

    // The cyclic blocks in creation order (walk them under requestLock).
    const std::vector<std::unique_ptr<CyclicBlock>>& cyclicBlocks() const { return cyclic_; }
    bool hasCyclicBlocks() const { return !cyclic_.empty(); }
    bool hasCyclicBlock(const CyclicBlock* block) const;

    // ---- device reads and writes (polling thread) ----
    // Takes the request over (it is completed in any case: a request that fits no block is
    // failed at once).
    void addReadRequest(PendingRequest&& request);
    void executeReadBlocks(HostLinkChannel& channel);
    bool hasReadBlocks() const { return !reads_.empty(); }
    void addWriteRequest(PendingRequest&& request);
    void executeWriteBlocks(HostLinkChannel& channel);
    bool hasWriteBlocks() const { return !writes_.empty(); }

    // Destroys every block, releasing the tags they hold (the PLC list does this at shutdown).
    void destroyBlocks();

    // Mode, model and error flags as the PLC reports them (read by any thread).
    PlcHealth& health() { return health_; }
    const PlcHealth& health() const { return health_; }

    // The status window's tree item for this PLC.
    void* statusItem = nullptr;

protected:
    ~Plc() override;

private:
    std::string name_;
    std::uint8_t unitNumber_;
    std::string portName_;
    std::atomic<std::uint16_t> plcNumber_{0}; // read by the door while routes are rebuilt
    std::atomic<HostLinkResult> lastResult_{0}; // written by the polling thread, read anywhere
    std::atomic<std::int64_t> lastResultSinceMs_{0};
    PlcHealth health_;

    std::vector<std::unique_ptr<CyclicBlock>> cyclic_;
    std::size_t servedIndex_ = 0;
    std::set<CyclicBlock*> recompute_;
    std::vector<std::unique_ptr<ReadBlock>> reads_;
    std::vector<std::unique_ptr<WriteBlock>> writes_;
};
