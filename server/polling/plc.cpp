#include "server/polling/plc.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "server/hostlink/hostlink_codec.h"
#include "server/polling/request_completion.h"
#include "server/polling/tick_count.h"

Plc::Plc(std::string name, std::uint8_t unitNumber, std::string portName)
    : name_(std::move(name)), unitNumber_(unitNumber), portName_(std::move(portName)) {
    if (portName_.size() > kPlcPortNameMax)
        portName_.resize(kPlcPortNameMax);
}

Plc::~Plc() { destroyBlocks(); }

void Plc::setLastResult(HostLinkResult result) {
    if (lastResult_.exchange(result, std::memory_order_relaxed) == result)
        return;
    lastResultSinceMs_.store(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count(),
                             std::memory_order_relaxed);
}

// ---- cyclic blocks ----

bool Plc::hasCyclicBlock(const CyclicBlock* block) const {
    return block != nullptr &&
           std::any_of(cyclic_.begin(), cyclic_.end(),
                       [block](const std::unique_ptr<CyclicBlock>& b) { return b.get() == block; });
}

bool Plc::addTagToCyclicBlocks(PlcTag& tag, std::uint32_t updateRate) {
    // Back into the block the tag was last in, when that still fits.
    CyclicBlock* recorded = tag.block();
    if (hasCyclicBlock(recorded) && recorded->updateRate() == updateRate &&
        recorded->accepts(tag)) {
        if (!recorded->addTag(tag))
            return false;
        recorded->setServed(false);
        return true;
    }
    if (!tag.isArray()) {
        for (const std::unique_ptr<CyclicBlock>& block : cyclic_) {
            if (block->updateRate() == updateRate && block->accepts(tag))
                return block->addTag(tag);
        }
    }
    auto block = std::make_unique<CyclicBlock>(tag, updateRate, tickCount());
    if (!block->addTag(tag))
        return false; // a tag of no words stays out of polling
    // A PLC that cannot be reached has said so already: its new block shares that outcome.
    if (isLineFailure(lastResult()))
        block->setLastOutcome(lastResult());
    cyclic_.push_back(std::move(block));
    return true;
}

void Plc::removeTagFromCyclicBlock(PlcTag& tag) {
    CyclicBlock* block = tag.block();
    // Membership decides, not the word count: a string cut to no words must still leave.
    if (!tag.inBlock() || !hasCyclicBlock(block) || !block->contains(&tag)) {
        tag.setInBlock(false);
        return;
    }
    block->removeTag(tag); // may release the last reference but the namespace's
    if (block->hasTags()) {
        recompute_.insert(block);
        return;
    }
    // Only the destroyed block leaves the recompute set; the others still need their ranges.
    recompute_.erase(block);
    auto it = std::find_if(cyclic_.begin(), cyclic_.end(),
                           [block](const std::unique_ptr<CyclicBlock>& b) { return b.get() == block; });
    const std::size_t index = std::size_t(it - cyclic_.begin());
    cyclic_.erase(it);
    // Keep the round where it was: the block after the served one comes next.
    if (index <= servedIndex_)
        servedIndex_ = servedIndex_ > 0 ? servedIndex_ - 1 : (cyclic_.empty() ? 0 : cyclic_.size() - 1);
}

void Plc::readdResizedTag(PlcTag& tag) {
    CyclicBlock* block = tag.block();
    if (!tag.inBlock() || !hasCyclicBlock(block))
        return;
    const std::uint32_t rate = block->updateRate();
    removeTagFromCyclicBlock(tag);
    addTagToCyclicBlocks(tag, rate);
}

void Plc::applyActivationChange(const ActivationChange& change) {
    PlcTag& tag = *change.tag;
    // A tag is polled only while it has active items, at the rate the change carries: the
    // fastest among their groups when it was queued (a later change of the tag carries a newer
    // one, and changes of one tag are applied in queue order).
    if (tag.activeItemCount() == 0) {
        if (tag.inBlock())
            removeTagFromCyclicBlock(tag);
        return;
    }
    if (tag.inBlock() && tag.block() != nullptr && tag.block()->updateRate() == change.updateRate)
        return;
    if (tag.inBlock()) {
        removeTagFromCyclicBlock(tag);
        tag.setBlock(nullptr);
    }
    addTagToCyclicBlocks(tag, change.updateRate);
}

void Plc::recomputeRanges() {
    for (CyclicBlock* block : recompute_)
        block->recomputeRange();
    recompute_.clear();
}

CyclicBlock* Plc::nextCyclicBlock() {
    if (cyclic_.empty())
        return nullptr;
    servedIndex_ = servedIndex_ + 1 >= cyclic_.size() ? 0 : servedIndex_ + 1;
    return cyclic_[servedIndex_].get();
}

bool Plc::allBlocksServed() const {
    // A block without tags counts as served: it must not keep the PLC's turn.
    return std::all_of(cyclic_.begin(), cyclic_.end(), [](const std::unique_ptr<CyclicBlock>& b) {
        return b->served() || !b->hasTags();
    });
}

void Plc::clearServedFlags() {
    for (const std::unique_ptr<CyclicBlock>& block : cyclic_)
        block->setServed(false);
}

void Plc::setCyclicQuality(std::uint16_t quality) {
    for (const std::unique_ptr<CyclicBlock>& block : cyclic_)
        block->setQuality(quality);
}

void Plc::setCyclicOutcome(HostLinkResult result) {
    for (const std::unique_ptr<CyclicBlock>& block : cyclic_)
        block->setLastOutcome(result);
}

// ---- device reads and writes ----

namespace {

// The request joins the first block that takes it, or a new one. A request of no words (a tag
// that has none, a value that fills none) is failed at once instead of leaving its client
// waiting; nothing is sent for it.
template <class Block>
void addToBlocks(std::vector<std::unique_ptr<Block>>& blocks, PendingRequest&& request) {
    for (const std::unique_ptr<Block>& block : blocks) {
        if (block->accepts(request) && block->addRequest(std::move(request)))
            return;
    }
    auto block = std::make_unique<Block>(request);
    if (block->addRequest(std::move(request))) {
        blocks.push_back(std::move(block));
        return;
    }
    std::lock_guard lock(requestLock);
    completeFailed(request, kQualityBad);
}

// Executes the blocks collected so far, each once; requests queued meanwhile wait for the
// next pass.
template <class Block>
void executeBlocks(std::vector<std::unique_ptr<Block>>& queued, HostLinkChannel& channel) {
    std::vector<std::unique_ptr<Block>> blocks;
    blocks.swap(queued);
    for (const std::unique_ptr<Block>& block : blocks)
        block->execute(channel);
}

} // namespace

void Plc::addReadRequest(PendingRequest&& request) { addToBlocks(reads_, std::move(request)); }

void Plc::executeReadBlocks(HostLinkChannel& channel) { executeBlocks(reads_, channel); }

void Plc::addWriteRequest(PendingRequest&& request) { addToBlocks(writes_, std::move(request)); }

void Plc::executeWriteBlocks(HostLinkChannel& channel) { executeBlocks(writes_, channel); }

void Plc::destroyBlocks() {
    std::lock_guard lock(requestLock);
    reads_.clear();
    writes_.clear();
    recompute_.clear();
    std::vector<std::unique_ptr<CyclicBlock>> blocks;
    blocks.swap(cyclic_);
    servedIndex_ = 0;
    blocks.clear(); // releases the tags, which may release this PLC's last references but one
}
