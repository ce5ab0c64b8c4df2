// A tag that hands its device requests to a queue, and a stand-in polling side that serves it.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "server/toolkit/tag.h"

class RequestQueue {
public:
    void push(SOCmnPointer<SODaSRequest> r)
    {
        {
            std::lock_guard l(mutex_);
            queue_.push_back(std::move(r));
        }
        cv_.notify_all();
    }
    SOCmnPointer<SODaSRequest> pop(std::chrono::milliseconds wait = std::chrono::seconds(5))
    {
        std::unique_lock l(mutex_);
        if (!cv_.wait_for(l, wait, [&] { return !queue_.empty(); }))
            return {};
        auto r = std::move(queue_.front());
        queue_.pop_front();
        return r;
    }
    std::size_t size() const
    {
        std::lock_guard l(mutex_);
        return queue_.size();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<SOCmnPointer<SODaSRequest>> queue_;
};

class QueueingTag : public SODaSTag {
public:
    QueueingTag(const std::string& name, std::uint16_t type, std::uint8_t rights, RequestQueue* queue) : queue_(queue)
    {
        setName(name);
        setNativeDatatype(type);
        setAccessRights(rights);
        setDeviceIOMode(kDeviceIOHandleRequest);
    }
    void handleRequest(SODaSRequest* request) override
    {
        request->setPending();
        queue_->push(SOCmnPointer<SODaSRequest>::share(request));
    }

private:
    RequestQueue* queue_;
};
