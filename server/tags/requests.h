// The records and queues between the toolkit's threads and the polling thread, and the one
// lock that guards them.
//
// requestLock guards activationQueue, readRequestList, writeRequestList, every PlcTag's active
// items, and block membership. It is recursive, as the critical section it stands for. Hold it
// for one append or one list change at a time on client threads; never sleep or wait under it
// (the one exception is a write block's read-before-write on the polling thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "server/toolkit/request.h"

class PlcTag;

struct ActivationChange {
    std::int32_t activate = 0;    // 1: an item on the tag became active
    std::int32_t rateChange = 0;  // 1: a group holding an item on the tag changed its rate
    std::uint32_t updateRate = 0; // milliseconds (0 for a deactivation)
    PlcTag* tag = nullptr;        // not counted: tags live as long as the namespace
};

struct PendingRequest {
    SOCmnPointer<SODaSRequest> request; // the one reference taken when queued
    PlcTag* tag = nullptr;              // the request's own tag handle keeps it alive
};

using ActivationQueue = std::vector<ActivationChange>;
using RequestList = std::list<PendingRequest>;

extern std::recursive_mutex requestLock;
// Empty pointers until createRequestQueues(); the polling thread takes and empties them under
// requestLock.
extern std::unique_ptr<ActivationQueue> activationQueue;
extern std::unique_ptr<RequestList> readRequestList;
extern std::unique_ptr<RequestList> writeRequestList;

// Each creates what is missing and keeps what exists. Allocation failure raises
// SOCmnException(1, "Out of memory").
void createRequestQueues();
// At shutdown, after the polling thread has ended. Queued requests are completed with E_FAIL
// so no client waits for them.
void destroyRequestQueues();

// Appends under requestLock. False (nothing queued) when the queue does not exist.
bool appendActivationChange(const ActivationChange& change);
bool appendReadRequest(PendingRequest request);
bool appendWriteRequest(PendingRequest request);

// Lengths under requestLock (0 without queue).
std::size_t activationQueueLength();
std::size_t readRequestListLength();
std::size_t writeRequestListLength();
