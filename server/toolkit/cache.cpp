#include "server/toolkit/cache.h"

#include <algorithm>

void SODaSCache::setDatatype(std::uint16_t vartype)
{
    std::lock_guard g(mutex_);
    datatype_ = vartype;
}

std::uint16_t SODaSCache::getDatatype() const
{
    std::lock_guard g(mutex_);
    return datatype_;
}

bool SODaSCache::setValue(const Variant& value, std::uint16_t quality, const TimeStamp* timeStamp,
                          SODaSRequest* /*request*/, std::uint32_t /*locale*/)
{
    {
        std::lock_guard g(mutex_);
        Variant stored;
        if (datatype_ != vt::EMPTY && value.vartype() != datatype_) {
            if (!value.changeType(datatype_, &stored))
                return false;
        } else {
            stored = value;
        }
        value_ = std::move(stored);
        hasValue_ = true;
        quality_ = quality;
        timeStamp_ = timeStamp ? *timeStamp : std::chrono::system_clock::now();
        ++changes_;
    }
    notify();
    return true;
}

void SODaSCache::setQuality(std::uint16_t quality, SODaSRequest* /*request*/)
{
    {
        std::lock_guard g(mutex_);
        if (quality_ == quality)
            return;
        quality_ = quality;
        timeStamp_ = std::chrono::system_clock::now();
        ++changes_;
    }
    notify();
}

bool SODaSCache::getValue(Variant& out) const
{
    std::lock_guard g(mutex_);
    if (hasValue_) {
        out = value_;
        return true;
    }
    if (datatype_ == vt::EMPTY || !Variant::isSupportedType(datatype_))
        return false;
    out = Variant::zeroOf(datatype_);
    return true;
}

std::uint16_t SODaSCache::getQuality() const
{
    std::lock_guard g(mutex_);
    return quality_;
}

TimeStamp SODaSCache::getTimeStamp() const
{
    std::lock_guard g(mutex_);
    return timeStamp_;
}

bool SODaSCache::hasValue() const
{
    std::lock_guard g(mutex_);
    return hasValue_;
}

CacheSnapshot SODaSCache::snapshot() const
{
    std::lock_guard g(mutex_);
    CacheSnapshot s;
    s.hasValue = hasValue_;
    if (hasValue_)
        s.value = value_;
    s.quality = quality_;
    s.timeStamp = timeStamp_;
    s.changeCount = changes_;
    return s;
}

void SODaSCache::clearValue()
{
    std::lock_guard g(mutex_);
    value_ = Variant();
    hasValue_ = false;
}

void SODaSCache::addSubscriber(SODaSCacheSubscriber* s)
{
    std::lock_guard g(subscribersMutex_);
    subscribers_.push_back(s);
}

void SODaSCache::removeSubscriber(SODaSCacheSubscriber* s)
{
    std::lock_guard g(subscribersMutex_);
    subscribers_.erase(std::remove(subscribers_.begin(), subscribers_.end(), s), subscribers_.end());
}

void SODaSCache::notify()
{
    std::lock_guard g(subscribersMutex_);
    for (SODaSCacheSubscriber* s : subscribers_)
        s->cacheChanged();
}
