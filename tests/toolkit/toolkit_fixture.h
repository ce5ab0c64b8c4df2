// A started toolkit entry for each test, terminated afterwards, and small waiting helpers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "server/toolkit/da_client.h"
#include "server/toolkit/entry.h"

class StartedToolkit : public ::testing::Test {
protected:
    void SetUp() override
    {
        entry = getSODaSEntry();
        ASSERT_NE(entry->start(), 0);
        root = entry->getNameSpaceRoot();
    }
    void TearDown() override { entry->terminate(); }

    SOCmnPointer<SODaSEntry> entry;
    SOCmnPointer<SODaSNameSpaceRoot> root;
};

// Polls cond until it holds or the time is up.
inline bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

// Collects data changes of groups, thread-safe.
class DataChangeLog {
public:
    DataChangeCallback callback()
    {
        return [this](GroupHandle g, const std::vector<DataChangeItem>& changes) {
            std::lock_guard l(mutex_);
            for (const auto& c : changes)
                entries_.push_back({g, c, std::chrono::steady_clock::now()});
        };
    }
    struct Entry {
        GroupHandle group;
        DataChangeItem change;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Entry> entries() const
    {
        std::lock_guard l(mutex_);
        return entries_;
    }
    std::size_t count() const
    {
        std::lock_guard l(mutex_);
        return entries_.size();
    }
    void clear()
    {
        std::lock_guard l(mutex_);
        entries_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};
