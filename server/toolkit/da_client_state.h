#pragma once

// The shared state of a DaClient: its groups, the gate its callbacks pass one at a time, and
// the timers that report each group's changes at its update rate. Only da_client.cpp uses it.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>

#include "server/toolkit/da_client.h"
#include "server/toolkit/entry.h"
#include "server/toolkit/toolkit_internal.h"
#include "server/toolkit/toolkit_threads.h"

struct DaClient::State : std::enable_shared_from_this<DaClient::State> {
    struct GroupRec {
        SOCmnPointer<SODaSGroupDefault> group;
        DataChangeCallback onDataChange;
        ToolkitThreads::TimerId timer = 0; // only while the group is active; under State::mutex
        bool removed = false; // under gate
        std::map<ItemHandle, std::uint32_t> clientHandles; // under State::mutex
        std::mutex deliverMutex;
        std::atomic<std::chrono::steady_clock::time_point> lastDelivery{}; // written under deliverMutex
    };

    // A change is reported this long after it rang, so that the rest of its block (stored one
    // tag after the other) goes out in the same report.
    static constexpr std::chrono::milliseconds kChangeSettle{10};

    // The least time between two reports of a group: its update rate, less a twentieth for the
    // timer's jitter.
    static std::chrono::nanoseconds minimumGap(std::uint32_t updateRate)
    {
        const std::chrono::nanoseconds rate = std::chrono::milliseconds(updateRate);
        return rate - rate / 20;
    }

    SOCmnPointer<SODaSEntry> entry;
    std::shared_ptr<ToolkitThreads> threads;
    SOCmnPointer<SODaSServer> server;
    std::atomic<bool> connected{true};

    // Every callback of this client passes here, one at a time.
    std::recursive_mutex gate;
    bool gateOpen = true;

    mutable std::mutex mutex;
    std::map<GroupHandle, std::shared_ptr<GroupRec>> groups;
    std::uint32_t generatedNames = 0;

    bool alive() const
    {
        return connected.load() && !ToolkitGroupAccess::isDetached(*server) && entry->isRunning();
    }

    // Runs a client call on a toolkit thread.
    template <class F>
    ToolkitResult call(F&& f)
    {
        if (!alive())
            return kResultNotRunning;
        ToolkitResult r = kResultNotRunning;
        bool ran = threads->run([&] {
            if (!alive())
                return;
            try {
                r = f();
            } catch (const SOCmnException&) {
                r = kResultOutOfMemory;
            } catch (const std::bad_alloc&) {
                r = kResultOutOfMemory;
            }
        });
        return ran ? r : kResultNotRunning;
    }

    std::shared_ptr<GroupRec> groupRec(GroupHandle h) const
    {
        std::lock_guard g(mutex);
        auto it = groups.find(h);
        return it == groups.end() ? nullptr : it->second;
    }

    // Through the gate: false when the client or group has gone meanwhile.
    template <class F>
    void throughGate(const GroupRec* rec, F&& f)
    {
        std::lock_guard g(gate);
        if (!gateOpen || (rec && rec->removed))
            return;
        f();
    }

    // Ticks off one answer of an asynchronous call (or the call itself); the last one posts the
    // results to a toolkit thread and hands them over through the gate.
    template <class Call>
    auto finisher(const std::shared_ptr<Call>& op)
    {
        std::weak_ptr<State> weak = shared_from_this();
        return [weak, op] {
            if (op->remaining.fetch_sub(1, std::memory_order_acq_rel) != 1)
                return;
            auto s = weak.lock();
            if (!s)
                return;
            s->threads->post([weak, op] {
                if (auto s2 = weak.lock())
                    s2->throughGate(nullptr, [&] {
                        if (op->onDone)
                            op->onDone(op->results);
                    });
            });
        };
    }

    // The group's timer runs at its update rate, one period after each report, and a change
    // brings it forward: the change goes out kChangeSettle after it rang, but never sooner than
    // minimumGap after the previous report.
    void deliverGroupUpdate(const std::shared_ptr<GroupRec>& rec)
    {
        std::lock_guard deliverLock(rec->deliverMutex);
        const auto now = std::chrono::steady_clock::now();
        const auto last = rec->lastDelivery.load();
        if (last != std::chrono::steady_clock::time_point{} && now - last < minimumGap(rec->group->getUpdateRate()))
            return;
        std::vector<ItemUpdate> updates = ToolkitGroupAccess::collectChanges(*rec->group);
        if (updates.empty())
            return;
        rec->lastDelivery = now;
        {
            std::lock_guard g(mutex);
            if (rec->timer)
                threads->setTimerPeriod(rec->timer, rec->group->getUpdateRate());
        }
        std::vector<DataChangeItem> changes;
        changes.reserve(updates.size());
        {
            std::lock_guard g(mutex);
            for (auto& u : updates) {
                DataChangeItem c;
                c.item = u.item->getServerHandle();
                auto it = rec->clientHandles.find(c.item);
                c.clientHandle = it == rec->clientHandles.end() ? 0 : it->second;
                c.itemId = u.item->getItemID();
                c.value = std::move(u.state.value);
                c.quality = u.state.quality;
                c.timeStamp = u.state.timeStamp;
                changes.push_back(std::move(c));
            }
        }
        GroupHandle handle = rec->group->getServerHandle();
        throughGate(rec.get(), [&] {
            if (rec->onDataChange)
                rec->onDataChange(handle, changes);
        });
    }

    // An inactive group delivers nothing, so it keeps no timer: a client's idle groups must
    // not wake a toolkit thread every few milliseconds for as long as they exist.
    void runTimer(const std::shared_ptr<GroupRec>& rec, bool active)
    {
        std::lock_guard g(mutex);
        if (!active) {
            if (rec->timer)
                threads->removeTimer(rec->timer);
            rec->timer = 0;
            return;
        }
        const std::uint32_t rate = rec->group->getUpdateRate();
        if (rec->timer) {
            threads->setTimerPeriod(rec->timer, rate);
            return;
        }
        std::weak_ptr<State> weak = shared_from_this();
        rec->timer = threads->addTimer(rate, [weak, rec] {
            if (auto s = weak.lock())
                s->deliverGroupUpdate(rec);
        });
    }

    // A change in one of the group's items brings the group's report forward.
    void wakeOnChange(const std::shared_ptr<GroupRec>& rec)
    {
        std::weak_ptr<State> weak = shared_from_this();
        std::weak_ptr<GroupRec> weakRec = rec;
        ToolkitGroupAccess::setChangeWake(*rec->group, [weak, weakRec] {
            auto s = weak.lock();
            auto r = weakRec.lock();
            if (!s || !r)
                return;
            auto due = std::chrono::steady_clock::now() + kChangeSettle;
            const auto last = r->lastDelivery.load();
            if (last != std::chrono::steady_clock::time_point{})
                due = std::max(due, last + minimumGap(r->group->getUpdateRate()));
            std::lock_guard g(s->mutex);
            if (r->timer)
                s->threads->advanceTimer(r->timer, std::chrono::time_point_cast<std::chrono::steady_clock::duration>(due));
        });
    }

    void removeGroupRec(const std::shared_ptr<GroupRec>& rec)
    {
        ToolkitGroupAccess::setChangeWake(*rec->group, {});
        runTimer(rec, false);
        {
            std::lock_guard g(gate);
            rec->removed = true;
        }
        ToolkitGroupAccess::removeAllItems(*rec->group);
    }
};
