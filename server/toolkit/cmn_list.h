// Small list helpers of the toolkit: a locked list of counted objects, its options and string
// alias.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "server/toolkit/cmn_object.h"

using SOCmnString = std::string;

// List options as the server passes them (0x4000: the list is kept by a key / sorted); kept,
// with no effect on this implementation's order, which is insertion order.
struct SOCmnListConfig {
    std::uint32_t options = 0;
};

// An ordered list of counted objects with its own lock. Callers that walk it take lock() for
// the walk or take a copy with snapshot().
template <class T>
class SOCmnList {
public:
    explicit SOCmnList(SOCmnListConfig config = {}) : config_(config) {}

    std::unique_lock<std::recursive_mutex> lock() const { return std::unique_lock(mutex_); }

    void add(SOCmnPointer<T> object)
    {
        std::lock_guard g(mutex_);
        items_.push_back(std::move(object));
    }
    bool remove(const T* object)
    {
        std::lock_guard g(mutex_);
        auto it = std::find_if(items_.begin(), items_.end(), [&](const SOCmnPointer<T>& p) { return p.get() == object; });
        if (it == items_.end())
            return false;
        items_.erase(it);
        return true;
    }
    void clear()
    {
        std::vector<SOCmnPointer<T>> old;
        {
            std::lock_guard g(mutex_);
            old.swap(items_);
        }
    }
    std::size_t size() const
    {
        std::lock_guard g(mutex_);
        return items_.size();
    }
    bool empty() const { return size() == 0; }
    std::vector<SOCmnPointer<T>> snapshot() const
    {
        std::lock_guard g(mutex_);
        return items_;
    }
    // Only with lock() held.
    const std::vector<SOCmnPointer<T>>& items() const { return items_; }
    const SOCmnListConfig& config() const { return config_; }

private:
    mutable std::recursive_mutex mutex_;
    SOCmnListConfig config_;
    std::vector<SOCmnPointer<T>> items_;
};

template <class T>
using SOCmnListHeader = SOCmnList<T>;
