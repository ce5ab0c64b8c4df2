#include "server/toolkit/event_pool.h"

#include <algorithm>

void SOCmnEvent::set()
{
    {
        std::lock_guard g(mutex_);
        set_ = true;
    }
    cv_.notify_all();
}

void SOCmnEvent::reset()
{
    std::lock_guard g(mutex_);
    set_ = false;
}

bool SOCmnEvent::isSet() const
{
    std::lock_guard g(mutex_);
    return set_;
}

bool SOCmnEvent::waitFor(std::chrono::milliseconds timeout) const
{
    std::unique_lock l(mutex_);
    return cv_.wait_for(l, timeout, [&] { return set_; });
}

void SOCmnEvent::wait() const
{
    std::unique_lock l(mutex_);
    cv_.wait(l, [&] { return set_; });
}

SOCmnEvent* SOCmnEventPool::popEvent()
{
    std::lock_guard g(mutex_);
    SOCmnEvent* e = nullptr;
    if (!free_.empty()) {
        e = free_.back();
        free_.pop_back();
    } else {
        try {
            all_.push_back(std::make_unique<SOCmnEvent>());
        } catch (const std::bad_alloc&) {
            throwOutOfMemory();
        }
        e = all_.back().get();
    }
    e->reset();
    return e;
}

void SOCmnEventPool::pushEvent(SOCmnEvent* event)
{
    if (!event)
        return;
    std::lock_guard g(mutex_);
    bool ours = std::any_of(all_.begin(), all_.end(), [&](const auto& p) { return p.get() == event; });
    bool alreadyFree = std::find(free_.begin(), free_.end(), event) != free_.end();
    if (ours && !alreadyFree)
        free_.push_back(event);
}

std::size_t SOCmnEventPool::freeCount() const
{
    std::lock_guard g(mutex_);
    return free_.size();
}

SOCmnPointer<SOCmnEventPool> getEventPool()
{
    static SOCmnEventPool* const pool = new SOCmnEventPool(); // events outlive every user
    return SOCmnPointer<SOCmnEventPool>::share(pool);
}
