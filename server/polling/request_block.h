// What a block of device reads and a block of client writes share: the words of one area of
// one PLC that they cover, and the queued requests they answer, each exactly once.
#pragma once

#include <cstdint>
#include <vector>

#include "server/polling/block_range.h"

#include "server/tags/requests.h"
#include "server/toolkit/tag.h" // requests.h needs the complete tag type

class RequestBlock {
public:
    RequestBlock(const RequestBlock&) = delete;
    RequestBlock& operator=(const RequestBlock&) = delete;

    bool holdsArray() const;
    std::size_t requestCount() const { return requests_.size(); }
    MemoryArea area() const { return range_.area(); }
    std::uint16_t firstWord() const { return range_.firstWord(); }
    std::uint16_t wordCount() const { return range_.wordCount(); }
    std::uint16_t capacity() const { return range_.capacity(); }

protected:
    // Starts with the first request's tag address and the given words (add the request next).
    RequestBlock(const PendingRequest& first, std::uint16_t words);
    // Requests still here were never executed (shutdown): they fail, so that no client waits.
    ~RequestBlock();
    // Takes the request over and covers its words from its tag's address, keeping the buffer's
    // contents when asked; false (the request stays with the caller) when it has no words.
    bool take(PendingRequest&& request, std::uint16_t words, bool keepContents);

    BlockRange range_;
    std::vector<PendingRequest> requests_; // in queue order; each is completed exactly once
};
