// Events (in place of Win32 event handles) and the toolkit's pool that lends them out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "server/toolkit/cmn_object.h"

// A manual-reset event: set stays set until reset.
class SOCmnEvent {
public:
    void set();
    void reset();
    bool isSet() const;
    // True when the event was set within the time.
    bool waitFor(std::chrono::milliseconds timeout) const;
    void wait() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool set_ = false;
};

// Events live as long as the process: popEvent hands out a reset event (a new one when the
// pool is empty), pushEvent takes it back. Handing out the same event to two users at once
// never happens.
class SOCmnEventPool : public SOCmnObject {
public:
    SOCmnEvent* popEvent();
    void pushEvent(SOCmnEvent* event);
    std::size_t freeCount() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<SOCmnEvent>> all_;
    std::vector<SOCmnEvent*> free_;
};

SOCmnPointer<SOCmnEventPool> getEventPool();
