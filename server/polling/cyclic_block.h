// Active tags of one PLC that lie close together in one memory area and are polled at one
// update rate, moved with one Host Link read. Built and changed only by the polling thread,
// under requestLock; the status window reads it under the same lock.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "server/polling/block_range.h"
#include "server/hostlink/hostlink_result.h"
#include "server/toolkit/cmn_object.h"

class HostLinkChannel;
class PlcTag;

class CyclicBlock {
public:
    // A block starts with the range of its first tag (add that tag with addTag next).
    CyclicBlock(const PlcTag& first, std::uint32_t updateRate, std::uint32_t nowTick);
    ~CyclicBlock();
    CyclicBlock(const CyclicBlock&) = delete;
    CyclicBlock& operator=(const CyclicBlock&) = delete;

    // May the tag join: same area, no arrays on either side, within 25 words. The update
    // rate is the caller's business.
    bool accepts(const PlcTag& tag) const;
    // Grows the range over the tag and takes a reference on it; the tag records this block.
    // False (nothing changed) when the tag occupies no words.
    bool addTag(PlcTag& tag);
    // The tag leaves the set (its reference is released); the range stays until recomputed.
    void removeTag(PlcTag& tag);
    // firstWord and wordCount from the tags now in the set; without tags 0, 0 and served.
    void recomputeRange();

    // One cyclic read: on success every tag gets its words, on failure every tag's quality
    // follows the result. lastRead becomes the tick count at the end of the transaction (so a
    // PLC that takes its full time-out is not asked again at once), and the block is served
    // either way.
    HostLinkResult read(HostLinkChannel& channel);
    void setQuality(std::uint16_t quality);

    // Due when updateRate is not 0 and more than updateRate milliseconds have passed.
    bool isDue(std::uint32_t nowTick) const;

    bool holdsArray() const;
    bool hasTags() const { return !tags_.empty(); }
    bool contains(const PlcTag* tag) const;
    // The tags in identity order (a copy: take it under requestLock).
    std::vector<PlcTag*> tags() const;

    // "DM100-LEN12": area prefix ("??" for none), first word, length in words.
    std::string label() const;

    MemoryArea area() const { return range_.area(); }
    std::uint16_t firstWord() const { return range_.firstWord(); }
    std::uint16_t wordCount() const { return range_.wordCount(); }
    std::uint16_t capacity() const { return range_.capacity(); }
    const BlockRange& range() const { return range_; }

    std::uint32_t updateRate() const { return updateRate_; }
    std::uint32_t lastRead() const { return lastRead_; }
    bool served() const { return served_; }
    // The result of this block's last read (0 before the first); only a change of it is
    // reported, so one bad block beside good ones writes one line, not one per scan.
    HostLinkResult lastOutcome() const { return lastOutcome_; }

    // The interval achieved between reads since the first read (or the last reset), against
    // the rate asked for: a block that cannot keep its rate shows here. Read and reset them
    // under requestLock (read() updates them under it).
    double achievedMeanMs() const { return intervals_ ? intervalTotalMs_ / double(intervals_) : 0; }
    double achievedMaxMs() const { return intervalMaxMs_; }
    std::uint64_t reads() const { return reads_; }
    void resetFigures();
    void setLastOutcome(HostLinkResult result) { lastOutcome_ = result; }
    void setServed(bool served) { served_ = served; }

    // The status window's tree item for this block (none when not shown).
    void* statusItem = nullptr;

private:
    BlockRange range_;
    bool served_ = false;
    HostLinkResult lastOutcome_ = 0;
    std::uint64_t reads_ = 0;
    std::uint64_t intervals_ = 0;
    double intervalTotalMs_ = 0;
    double intervalMaxMs_ = 0;
    std::uint32_t updateRate_;
    std::uint32_t lastRead_;
    std::map<PlcTag*, SOCmnPointer<PlcTag>> tags_;
};
