// A tag's cache: current value, quality and time stamp, and the subscribers told of changes.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "server/toolkit/cmn_object.h"
#include "server/toolkit/quality.h"
#include "server/toolkit/variant.h"

class SODaSRequest;

using TimeStamp = std::chrono::system_clock::time_point;

// Told after every change of value or quality. Called on the thread that changed the cache,
// under the cache's subscriber lock: do nothing there but mark yourself (an atomic flag).
class SODaSCacheSubscriber {
public:
    virtual void cacheChanged() noexcept = 0;

protected:
    ~SODaSCacheSubscriber() = default;
};

struct CacheSnapshot {
    Variant value;          // VT_EMPTY while no value was ever stored
    bool hasValue = false;
    std::uint16_t quality = kOpcQualityBad;
    TimeStamp timeStamp{};  // epoch while nothing was stored
    std::uint64_t changeCount = 0;
};

class SODaSCache : public SOCmnObject {
public:
    // The datatype the cache keeps its value in (the tag's native datatype).
    void setDatatype(std::uint16_t vartype);
    std::uint16_t getDatatype() const;

    // Stores value (converted to the cache's datatype when it has one and the value differs)
    // with quality, stamps the time (now, or *timeStamp when given) and notifies the
    // subscribers. False, and nothing changed, when the value cannot be converted.
    // request and locale are accepted as the toolkit takes them; they do not change the result.
    bool setValue(const Variant& value, std::uint16_t quality, const TimeStamp* timeStamp = nullptr,
                  SODaSRequest* request = nullptr, std::uint32_t locale = kLocaleSystemDefault);
    // Sets the quality; a change of quality stamps the time and notifies the subscribers.
    void setQuality(std::uint16_t quality, SODaSRequest* request = nullptr);

    // The current value. Before any value was stored, a scalar cache answers the zero value of
    // its datatype (so converters can switch on the type) and the call returns true; false only
    // when the cache has no datatype and no value.
    bool getValue(Variant& out) const;
    std::uint16_t getQuality() const;
    TimeStamp getTimeStamp() const;
    bool hasValue() const;
    CacheSnapshot snapshot() const;

    void addSubscriber(SODaSCacheSubscriber* s);
    void removeSubscriber(SODaSCacheSubscriber* s);

    // Drops the stored value (the tag frees its array or string at destruction).
    void clearValue();

private:
    void notify();

    mutable std::mutex mutex_;
    std::uint16_t datatype_ = vt::EMPTY;
    Variant value_;
    bool hasValue_ = false;
    std::uint16_t quality_ = kOpcQualityBad;
    TimeStamp timeStamp_{};
    std::uint64_t changes_ = 0;

    std::mutex subscribersMutex_;
    std::vector<SODaSCacheSubscriber*> subscribers_;
};
