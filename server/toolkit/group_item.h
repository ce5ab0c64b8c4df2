// A client's groups and items, and the creator through which the server supplies its own kinds.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "server/toolkit/cache.h"
#include "server/toolkit/cmn_object.h"
#include "server/toolkit/tag.h"

class SODaSGroupDefault;
class SODaSServer;

// One client item: an item ID bound to a tag, inside one group.
class SODaSItemDefault : public SOCmnObject, private SODaSCacheSubscriber {
public:
    SODaSItemDefault();
    ~SODaSItemDefault() override;

    SOCmnPointer<SODaSTag> getItemTag() const;
    // The group holding the item; empty once the item was removed from it.
    SOCmnPointer<SODaSGroupDefault> getParentBranch() const;
    bool getActive() const { return active_.load(); }
    std::uint32_t getServerHandle() const { return serverHandle_; }
    std::string getItemID() const;

protected:
    // The item's active flag changes (also: an active item is removed, or its client leaves).
    // Called on a toolkit thread before the new flag is stored.
    virtual void onActivationChange(bool active);

private:
    friend class ToolkitGroupAccess;
    void cacheChanged() noexcept override;

    SOCmnPointer<SODaSTag> tag_;
    SOCmnPointer<SODaSCache> subscribedCache_;
    std::atomic<SODaSGroupDefault*> parent_{nullptr};
    std::atomic<bool> active_{false};
    std::uint32_t serverHandle_ = 0;
    std::string itemId_;

    // Data-change bookkeeping, touched by the group's update only.
    std::atomic<bool> changed_{false};
    std::atomic<bool> resend_{false}; // send the current value at the next update
    bool sentOnce_ = false;
    Variant lastValue_;
    std::uint16_t lastQuality_ = 0;
};

// A client group: name, active flag, update rate and its items in the order they were added
// (the group's leaf list).
class SODaSGroupDefault : public SOCmnObject {
public:
    SODaSGroupDefault();
    ~SODaSGroupDefault() override;

    std::string getName() const;
    bool getActive() const { return active_.load(); }
    std::uint32_t getUpdateRate() const { return updateRate_.load(); }
    std::uint32_t getServerHandle() const { return serverHandle_; }
    std::vector<SOCmnPointer<SODaSItemDefault>> getLeafList() const;

protected:
    // The client asks for a new update rate. Called on a toolkit thread BEFORE the group stores
    // it, so getUpdateRate() still gives the old rate here.
    virtual void onUpdateRateChange(std::uint32_t newRate);

private:
    friend class ToolkitGroupAccess;
    friend class SODaSItemDefault;

    // Recursive: the client operations hold it while the server's notifications run, and
    // those may walk the leaf list.
    mutable std::recursive_mutex mutex_;
    std::string name_;
    std::atomic<bool> active_{false};
    std::atomic<std::uint32_t> updateRate_{0};
    std::uint32_t serverHandle_ = 0;
    std::vector<SOCmnPointer<SODaSItemDefault>> items_;
    SODaSServer* server_ = nullptr;
    std::uint32_t nextItemHandle_ = 1;

    // Rung when an item of the group has a change to report (once until the group's next
    // collection), so that the change can go out without waiting for the group's timer.
    void noteChange();
    std::atomic<bool> changeRung_{false};
    std::mutex wakeMutex_;
    std::function<void()> onChange_; // under wakeMutex_
};

// Makes the groups and items of clients. The server overrides both creations.
class SODaSCreator : public SOCmnObject {
public:
    virtual SOCmnPointer<SODaSGroupDefault> createGroup(const std::string& name);
    virtual SOCmnPointer<SODaSItemDefault> createItem(SODaSGroupDefault& group, SODaSTag& tag);

protected:
    ~SODaSCreator() override = default;
};

// The server's hook on client life.
class SOSrvEventHandler : public SOCmnObject {
public:
    // The last client server object was released. Called on a toolkit thread.
    virtual void onReleasedLastOPCObject();

protected:
    ~SOSrvEventHandler() override = default;
};
