#include "server/hostlink/read_block.h"

#include <mutex>

#include "server/hostlink/hostlink_channel.h"
#include "server/hostlink/hostlink_codec.h"
#include "server/hostlink/request_completion.h"
#include "server/runtime/plc_tag.h"
#include "server/runtime/tag_conversions.h"

ReadBlock::ReadBlock(const PendingRequest& first) {
    range_.start(first.tag->area(), first.tag->address(), first.tag->wordCount());
}

ReadBlock::~ReadBlock() {
    // Requests still here were never executed (shutdown): answer them so no client waits.
    if (requests_.empty())
        return;
    std::lock_guard lock(requestLock);
    for (PendingRequest& r : requests_)
        completeFailed(r, kQualityBad);
}

bool ReadBlock::holdsArray() const {
    return !requests_.empty() && requests_.front().tag->isArray();
}

bool ReadBlock::accepts(const PendingRequest& request) const {
    const PlcTag& tag = *request.tag;
    return passesReadGap(range_, holdsArray(), tag.area(), tag.address(), tag.isArray());
}

bool ReadBlock::addRequest(PendingRequest&& request) {
    const std::uint16_t words = request.tag->wordCount();
    if (words == 0)
        return false;
    range_.cover(request.tag->address(), words, false);
    requests_.push_back(std::move(request));
    return true;
}

HostLinkResult ReadBlock::execute(HostLinkChannel& channel) {
    const HostLinkResult result =
        channel.readWords(range_.area(), range_.firstWord(), range_.wordCount(), range_.buffer());
    std::lock_guard lock(requestLock);
    for (PendingRequest& r : requests_) {
        PlcTag& tag = *r.tag;
        if (result == kHostLinkOk) {
            const int offset = int(tag.address()) - int(range_.firstWord());
            const int count = tag.wordCount();
            if (offset >= 0 && offset + count <= int(range_.wordCount()))
                storeReadWords(tag, std::span<const std::uint16_t>(range_.buffer() + offset,
                                                                   std::size_t(count)));
            else if (SOCmnPointer<SODaSCache> cache = tag.getCache())
                cache->setQuality(kQualityDeviceFailure); // the tag grew since it was queued
        } else if (SOCmnPointer<SODaSCache> cache = tag.getCache()) {
            cache->setQuality(qualityForResult(result));
        }
        completeDone(r);
    }
    requests_.clear();
    return result;
}
