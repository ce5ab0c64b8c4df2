// Queued device reads of one PLC for nearby words of one area, read with one Host Link
// command in the pass that collected them and then discarded.
#pragma once

#include <cstdint>
#include <vector>

#include "server/hostlink/block_range.h"
#include "server/hostlink/hostlink_result.h"

#include "server/runtime/requests.h"
#include "server/toolkit/tag.h" // requests.h needs the complete tag type

class HostLinkChannel;

class ReadBlock {
public:
    // Starts with the range of the first request's tag (add the request next).
    explicit ReadBlock(const PendingRequest& first);
    ~ReadBlock();
    ReadBlock(const ReadBlock&) = delete;
    ReadBlock& operator=(const ReadBlock&) = delete;

    bool accepts(const PendingRequest& request) const;
    // Takes the request over; false (the request stays with the caller) when its tag occupies
    // no words.
    bool addRequest(PendingRequest&& request);
    // Reads the range, then under requestLock gives every request's tag its words (or the
    // quality of the failure) and completes the request. Returns the read's result.
    HostLinkResult execute(HostLinkChannel& channel);

    bool holdsArray() const;
    std::size_t requestCount() const { return requests_.size(); }
    MemoryArea area() const { return range_.area(); }
    std::uint16_t firstWord() const { return range_.firstWord(); }
    std::uint16_t wordCount() const { return range_.wordCount(); }
    std::uint16_t capacity() const { return range_.capacity(); }

private:
    BlockRange range_;
    std::vector<PendingRequest> requests_; // in queue order; each is completed exactly once
};
