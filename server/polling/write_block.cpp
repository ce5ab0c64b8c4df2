#include "server/polling/write_block.h"

#include <algorithm>
#include <mutex>

#include "server/hostlink/hostlink_channel.h"
#include "server/hostlink/hostlink_codec.h"
#include "server/polling/request_completion.h"
#include "server/tags/plc_tag.h"
#include "server/tags/tag_conversions.h"

WriteBlock::WriteBlock(const PendingRequest& first) : RequestBlock(first, valueWordCount(first)) {}

bool WriteBlock::holdsBoolean() const {
    return std::any_of(requests_.begin(), requests_.end(),
                       [](const PendingRequest& r) { return r.tag->isBoolean(); });
}

bool WriteBlock::accepts(const PendingRequest& request) const {
    const PlcTag& tag = *request.tag;
    return passesWriteGap(range_, holdsArray(), tag.area(), tag.address(), tag.isArray());
}

bool WriteBlock::addRequest(PendingRequest&& request) {
    const std::uint16_t words = valueWordCount(request);
    return take(std::move(request), words, true);
}

HostLinkResult WriteBlock::execute(HostLinkChannel& channel) {
    bool prepared = true;
    HostLinkResult prepareResult = kWriteNotPrepared;
    {
        std::lock_guard lock(requestLock);
        std::vector<std::uint16_t> image(range_.wordCount(), 0);
        // Booleans change only their own bits, so the other bits must be the PLC's: read the
        // range first. This is the one transaction made with requestLock held.
        if (holdsBoolean()) {
            prepareResult = channel.readWords(range_.area(), range_.firstWord(),
                                              range_.wordCount(), image.data());
            if (prepareResult != kHostLinkOk)
                prepared = false;
            else
                prepareResult = kWriteNotPrepared;
        }
        for (std::size_t i = 0; prepared && i < requests_.size(); ++i) {
            const PendingRequest& r = requests_[i];
            const std::size_t offset = std::size_t(r.tag->address() - range_.firstWord());
            const std::size_t words = valueWordCount(r);
            if (words == 0 || offset + words > image.size() ||
                !takeWriteWords(r, std::span<std::uint16_t>(image.data() + offset, words)))
                prepared = false;
        }
        if (prepared)
            std::copy(image.begin(), image.end(), range_.buffer());
    }
    if (!prepared) {
        // Nothing is sent, so no partial write reaches the PLC.
        std::lock_guard lock(requestLock);
        for (PendingRequest& r : requests_)
            completeFailed(r, kQualityBad);
        requests_.clear();
        return prepareResult;
    }
    const HostLinkResult result =
        channel.writeWords(range_.area(), range_.firstWord(), range_.wordCount(), range_.buffer());
    std::lock_guard lock(requestLock);
    for (PendingRequest& r : requests_) {
        if (result == kHostLinkOk)
            completeDone(r);
        else
            completeFailed(r, qualityForResult(result), result);
    }
    requests_.clear();
    return result;
}
