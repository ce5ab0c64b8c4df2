// Queued client writes of one PLC to adjacent words of one area, sent with one Host Link
// write in the pass that collected them and then discarded. A request joins only where it
// starts inside the block or right after it, so every word sent carries a requested value.
#pragma once

#include <cstdint>
#include <vector>

#include "server/hostlink/hostlink_result.h"
#include "server/polling/request_block.h"

class HostLinkChannel;

// execute() when a value could not be converted and nothing was sent.
inline constexpr HostLinkResult kWriteNotPrepared = -1;

class WriteBlock : public RequestBlock {
public:
    // Starts with the first request's tag address and value length (add the request next).
    explicit WriteBlock(const PendingRequest& first);

    bool accepts(const PendingRequest& request) const;
    // Takes the request over; false (the request stays with the caller) when its value
    // occupies no words.
    bool addRequest(PendingRequest&& request);
    // Prepares the word image under requestLock (reading the range first when a boolean is
    // among the tags), writes it, and completes every request: success, or E_FAIL with the
    // write quality of the failure (0 when nothing could be prepared and nothing was sent).
    // Returns the write's result, the failed read-before-write's result, or kWriteNotPrepared.
    HostLinkResult execute(HostLinkChannel& channel);

    bool holdsBoolean() const;
};
