#include "server/tags/requests.h"

#include <new>

#include "server/toolkit/cmn_exception.h"

std::recursive_mutex requestLock;
std::unique_ptr<ActivationQueue> activationQueue;
std::unique_ptr<RequestList> readRequestList;
std::unique_ptr<RequestList> writeRequestList;

void createRequestQueues()
{
    std::lock_guard g(requestLock);
    try {
        if (!activationQueue)
            activationQueue = std::make_unique<ActivationQueue>();
        if (!readRequestList)
            readRequestList = std::make_unique<RequestList>();
        if (!writeRequestList)
            writeRequestList = std::make_unique<RequestList>();
    } catch (const std::bad_alloc&) {
        throwOutOfMemory();
    }
}

void destroyRequestQueues()
{
    std::unique_ptr<ActivationQueue> changes;
    std::unique_ptr<RequestList> reads, writes;
    {
        std::lock_guard g(requestLock);
        changes = std::move(activationQueue);
        reads = std::move(readRequestList);
        writes = std::move(writeRequestList);
    }
    // Nobody will serve these any more: answer them so no client waits in vain.
    for (RequestList* list : {reads.get(), writes.get()})
        if (list)
            for (PendingRequest& p : *list)
                if (p.request)
                    p.request->complete(kResultFail, true, 0x00);
}

bool appendActivationChange(const ActivationChange& change)
{
    std::lock_guard g(requestLock);
    if (!activationQueue)
        return false;
    activationQueue->push_back(change);
    return true;
}

bool appendReadRequest(PendingRequest request)
{
    std::lock_guard g(requestLock);
    if (!readRequestList)
        return false;
    readRequestList->push_back(std::move(request));
    return true;
}

bool appendWriteRequest(PendingRequest request)
{
    std::lock_guard g(requestLock);
    if (!writeRequestList)
        return false;
    writeRequestList->push_back(std::move(request));
    return true;
}

std::size_t activationQueueLength()
{
    std::lock_guard g(requestLock);
    return activationQueue ? activationQueue->size() : 0;
}

std::size_t readRequestListLength()
{
    std::lock_guard g(requestLock);
    return readRequestList ? readRequestList->size() : 0;
}

std::size_t writeRequestListLength()
{
    std::lock_guard g(requestLock);
    return writeRequestList ? writeRequestList->size() : 0;
}
