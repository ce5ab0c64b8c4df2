// Queued client writes of one PLC to adjacent words of one area, sent with one Host Link
// write in the pass that collected them and then discarded. A request joins only where it
// starts inside the block or right after it, so every word sent carries a requested value.
#pragma once

#include <cstdint>
#include <vector>

#include "server/hostlink/block_range.h"
#include "server/hostlink/hostlink_result.h"

#include "server/runtime/requests.h"
#include "server/toolkit/tag.h" // requests.h needs the complete tag type

class HostLinkChannel;

// execute() when a value could not be converted and nothing was sent.
inline constexpr HostLinkResult kWriteNotPrepared = -1;

class WriteBlock {
public:
    // Starts with the first request's tag address and value length (add the request next).
    explicit WriteBlock(const PendingRequest& first);
    ~WriteBlock();
    WriteBlock(const WriteBlock&) = delete;
    WriteBlock& operator=(const WriteBlock&) = delete;

    bool accepts(const PendingRequest& request) const;
    // Takes the request over; false (the request stays with the caller) when its value
    // occupies no words.
    bool addRequest(PendingRequest&& request);
    // Prepares the word image under requestLock (reading the range first when a boolean is
    // among the tags), writes it, and completes every request: success, or E_FAIL with the
    // write quality of the failure (0 when nothing could be prepared and nothing was sent).
    // Returns the write's result, the failed read-before-write's result, or kWriteNotPrepared.
    HostLinkResult execute(HostLinkChannel& channel);

    bool holdsArray() const;
    bool holdsBoolean() const;
    std::size_t requestCount() const { return requests_.size(); }
    MemoryArea area() const { return range_.area(); }
    std::uint16_t firstWord() const { return range_.firstWord(); }
    std::uint16_t wordCount() const { return range_.wordCount(); }
    std::uint16_t capacity() const { return range_.capacity(); }

private:
    BlockRange range_;
    std::vector<PendingRequest> requests_; // in queue order; each is completed exactly once
};
