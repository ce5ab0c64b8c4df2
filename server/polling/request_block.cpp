#include "server/polling/request_block.h"

#include <mutex>

#include "server/hostlink/hostlink_codec.h"
#include "server/polling/request_completion.h"
#include "server/tags/plc_tag.h"

RequestBlock::RequestBlock(const PendingRequest& first, std::uint16_t words) {
    range_.start(first.tag->area(), first.tag->address(), words);
}

RequestBlock::~RequestBlock() {
    if (requests_.empty())
        return;
    std::lock_guard lock(requestLock);
    for (PendingRequest& r : requests_)
        completeFailed(r, kQualityBad);
}

bool RequestBlock::holdsArray() const {
    return !requests_.empty() && requests_.front().tag->isArray();
}

bool RequestBlock::take(PendingRequest&& request, std::uint16_t words, bool keepContents) {
    if (words == 0)
        return false;
    range_.cover(request.tag->address(), words, keepContents);
    requests_.push_back(std::move(request));
    return true;
}
