#include "server/polling/cyclic_block.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "server/hostlink/hostlink_channel.h"
#include "server/hostlink/hostlink_codec.h"
#include "server/polling/tick_count.h"
#include "server/tags/plc_tag.h"
#include "server/tags/requests.h"
#include "server/tags/tag_conversions.h"

CyclicBlock::CyclicBlock(const PlcTag& first, std::uint32_t updateRate, std::uint32_t nowTick)
    : updateRate_(updateRate), lastRead_(nowTick) {
    range_.start(first.area(), first.address(), first.wordCount());
}

CyclicBlock::~CyclicBlock() {
    // The tags outlive their blocks; a destroyed block must not stay recorded in them.
    for (auto& [tag, ref] : tags_) {
        if (tag->block() == this)
            tag->setBlock(nullptr);
        tag->setInBlock(false);
    }
}

bool CyclicBlock::holdsArray() const {
    return !tags_.empty() && tags_.begin()->first->isArray();
}

bool CyclicBlock::accepts(const PlcTag& tag) const {
    return passesReadGap(range_, holdsArray(), tag.area(), tag.address(), tag.isArray());
}

bool CyclicBlock::addTag(PlcTag& tag) {
    const std::uint16_t words = tag.wordCount();
    if (words == 0)
        return false;
    range_.cover(tag.address(), words, false);
    tags_.try_emplace(&tag, SOCmnPointer<PlcTag>::share(&tag));
    tag.setInBlock(true);
    tag.setBlock(this);
    return true;
}

void CyclicBlock::removeTag(PlcTag& tag) {
    tag.setInBlock(false);
    tags_.erase(&tag); // releases the block's reference last
}

void CyclicBlock::recomputeRange() {
    if (tags_.empty()) {
        range_.setRange(0, 0);
        served_ = true;
        return;
    }
    int first = 0xFFFF;
    int last = 0;
    for (const auto& [tag, ref] : tags_) {
        first = std::min<int>(first, tag->address());
        last = std::max<int>(last, int(tag->address()) + int(tag->wordCount()) - 1);
    }
    // A recompute only shrinks the range, so the buffer is big enough; cover() keeps it so.
    range_.setRange(static_cast<std::uint16_t>(first),
                    static_cast<std::uint16_t>(std::max(last - first + 1, 0)));
    range_.cover(range_.firstWord(), range_.wordCount(), false);
}

bool CyclicBlock::isDue(std::uint32_t nowTick) const {
    return updateRate_ != 0 && std::uint32_t(nowTick - lastRead_) > updateRate_;
}

HostLinkResult CyclicBlock::read(HostLinkChannel& channel) {
    const HostLinkResult result =
        channel.readWords(range_.area(), range_.firstWord(), range_.wordCount(), range_.buffer());
    if (result == kHostLinkOk) {
        for (const auto& [tag, ref] : tags_) {
            const int offset = int(tag->address()) - int(range_.firstWord());
            const int count = tag->wordCount();
            if (offset < 0 || offset + count > int(range_.wordCount())) {
                // The tag grew past the range it was read with; its next re-add covers it.
                continue;
            }
            storeReadWords(*tag, std::span<const std::uint16_t>(range_.buffer() + offset,
                                                                std::size_t(count)));
        }
    } else {
        setQuality(qualityForResult(result));
    }
    const std::uint32_t end = tickCount();
    // The figures are read by the door and the window under requestLock.
    std::lock_guard lock(requestLock);
    if (reads_ > 0) {
        const double interval = double(std::uint32_t(end - lastRead_));
        ++intervals_;
        intervalTotalMs_ += interval;
        intervalMaxMs_ = std::max(intervalMaxMs_, interval);
    }
    ++reads_;
    lastRead_ = end;
    served_ = true;
    return result;
}

void CyclicBlock::resetFigures() {
    // The next read starts the count; its interval is measured from the one after.
    reads_ = 0;
    intervals_ = 0;
    intervalTotalMs_ = 0;
    intervalMaxMs_ = 0;
}

void CyclicBlock::setQuality(std::uint16_t quality) {
    for (const auto& [tag, ref] : tags_) {
        if (SOCmnPointer<SODaSCache> cache = tag->getCache())
            cache->setQuality(quality);
    }
}

bool CyclicBlock::contains(const PlcTag* tag) const {
    return tags_.count(const_cast<PlcTag*>(tag)) != 0;
}

std::vector<PlcTag*> CyclicBlock::tags() const {
    std::vector<PlcTag*> out;
    out.reserve(tags_.size());
    for (const auto& [tag, ref] : tags_)
        out.push_back(tag);
    return out;
}

std::string CyclicBlock::label() const {
    std::string_view prefix = areaPrefix(range_.area());
    std::string p = prefix.empty() ? std::string("??") : std::string(prefix);
    char text[64];
    std::snprintf(text, sizeof text, "%s%d-LEN%d", p.c_str(), int(range_.firstWord()),
                  int(range_.wordCount()));
    return text;
}
