#include "server/polling/read_block.h"

#include <mutex>

#include "server/hostlink/hostlink_channel.h"
#include "server/hostlink/hostlink_codec.h"
#include "server/polling/request_completion.h"
#include "server/tags/plc_tag.h"
#include "server/tags/tag_conversions.h"

ReadBlock::ReadBlock(const PendingRequest& first) : RequestBlock(first, first.tag->wordCount()) {}

bool ReadBlock::accepts(const PendingRequest& request) const {
    const PlcTag& tag = *request.tag;
    return passesReadGap(range_, holdsArray(), tag.area(), tag.address(), tag.isArray());
}

bool ReadBlock::addRequest(PendingRequest&& request) {
    const std::uint16_t words = request.tag->wordCount();
    return take(std::move(request), words, false);
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
