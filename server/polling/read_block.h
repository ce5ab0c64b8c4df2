// Queued device reads of one PLC for nearby words of one area, read with one Host Link
// command in the pass that collected them and then discarded.
#pragma once

#include <cstdint>
#include <vector>

#include "server/hostlink/hostlink_result.h"
#include "server/polling/request_block.h"

class HostLinkChannel;

class ReadBlock : public RequestBlock {
public:
    // Starts with the range of the first request's tag (add the request next).
    explicit ReadBlock(const PendingRequest& first);

    bool accepts(const PendingRequest& request) const;
    // Takes the request over; false (the request stays with the caller) when its tag occupies
    // no words.
    bool addRequest(PendingRequest&& request);
    // Reads the range, then under requestLock gives every request's tag its words (or the
    // quality of the failure) and completes the request. Returns the read's result.
    HostLinkResult execute(HostLinkChannel& channel);
};
