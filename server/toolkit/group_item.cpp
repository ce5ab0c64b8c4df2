#include "server/toolkit/group_item.h"

#include <algorithm>

#include "server/toolkit/toolkit_internal.h"

// ---- item ----

SODaSItemDefault::SODaSItemDefault() = default;

SODaSItemDefault::~SODaSItemDefault()
{
    if (subscribedCache_)
        subscribedCache_->removeSubscriber(this);
}

SOCmnPointer<SODaSTag> SODaSItemDefault::getItemTag() const { return tag_; }

SOCmnPointer<SODaSGroupDefault> SODaSItemDefault::getParentBranch() const
{
    return SOCmnPointer<SODaSGroupDefault>::share(parent_.load());
}

std::string SODaSItemDefault::getItemID() const { return itemId_; }

void SODaSItemDefault::onActivationChange(bool) {}

void SODaSItemDefault::cacheChanged() noexcept
{
    // Called under the cache's subscriber lock: while subscribed the item is in its group.
    if (!changed_.exchange(true, std::memory_order_acq_rel) && active_.load())
        if (SODaSGroupDefault* group = parent_.load())
            group->noteChange();
}

// ---- group ----

SODaSGroupDefault::SODaSGroupDefault() = default;
SODaSGroupDefault::~SODaSGroupDefault() = default;

void SODaSGroupDefault::noteChange()
{
    if (!active_.load() || changeRung_.exchange(true))
        return;
    std::lock_guard g(wakeMutex_);
    if (onChange_)
        onChange_();
}

std::string SODaSGroupDefault::getName() const
{
    std::lock_guard g(mutex_);
    return name_;
}

std::vector<SOCmnPointer<SODaSItemDefault>> SODaSGroupDefault::getLeafList() const
{
    std::lock_guard g(mutex_);
    return items_;
}

void SODaSGroupDefault::onUpdateRateChange(std::uint32_t) {}

// ---- creator, event handler ----

SOCmnPointer<SODaSGroupDefault> SODaSCreator::createGroup(const std::string&)
{
    return makeObject<SODaSGroupDefault>();
}

SOCmnPointer<SODaSItemDefault> SODaSCreator::createItem(SODaSGroupDefault&, SODaSTag&)
{
    return makeObject<SODaSItemDefault>();
}

void SOSrvEventHandler::onReleasedLastOPCObject() {}

// ---- client-side access ----

void ToolkitGroupAccess::initGroup(SODaSGroupDefault& group, SODaSServer& server, std::uint32_t handle,
                                   std::string name, bool active, std::uint32_t updateRate)
{
    std::lock_guard g(group.mutex_);
    group.server_ = &server;
    group.serverHandle_ = handle;
    group.name_ = std::move(name);
    group.active_ = active;
    group.updateRate_ = updateRate;
}

std::uint32_t ToolkitGroupAccess::addItem(SODaSGroupDefault& group, SODaSItemDefault& item, SOCmnPointer<SODaSTag> tag,
                                          std::string itemId)
{
    std::lock_guard g(group.mutex_);
    item.serverHandle_ = group.nextItemHandle_++;
    item.itemId_ = std::move(itemId);
    item.subscribedCache_ = tag->getCache();
    item.tag_ = std::move(tag);
    item.parent_ = &group;
    if (item.subscribedCache_)
        item.subscribedCache_->addSubscriber(&item);
    group.items_.push_back(SOCmnPointer<SODaSItemDefault>::share(&item));
    return item.serverHandle_;
}

SOCmnPointer<SODaSItemDefault> ToolkitGroupAccess::findItem(const SODaSGroupDefault& group, std::uint32_t handle)
{
    std::lock_guard g(group.mutex_);
    for (const auto& i : group.items_)
        if (i->serverHandle_ == handle)
            return i;
    return {};
}

void ToolkitGroupAccess::setItemActive(SODaSItemDefault& item, bool active)
{
    SODaSGroupDefault* group = item.parent_.load();
    std::unique_lock<std::recursive_mutex> l;
    if (group)
        l = std::unique_lock(group->mutex_);
    if (item.active_.load() == active)
        return;
    item.onActivationChange(active);
    item.active_ = active;
    if (active) {
        item.resend_ = true;
        item.changed_ = true;
        if (group)
            group->noteChange();
    }
}

bool ToolkitGroupAccess::removeItem(SODaSGroupDefault& group, std::uint32_t handle)
{
    std::lock_guard g(group.mutex_);
    auto it = std::find_if(group.items_.begin(), group.items_.end(),
                           [&](const SOCmnPointer<SODaSItemDefault>& i) { return i->serverHandle_ == handle; });
    if (it == group.items_.end())
        return false;
    SOCmnPointer<SODaSItemDefault> item = *it;
    // An active item that goes away stops being active for the server too.
    setItemActive(*item, false);
    group.items_.erase(std::find(group.items_.begin(), group.items_.end(), item));
    if (item->subscribedCache_) {
        item->subscribedCache_->removeSubscriber(item.get());
        item->subscribedCache_.reset();
    }
    item->parent_ = nullptr;
    return true;
}

void ToolkitGroupAccess::removeAllItems(SODaSGroupDefault& group)
{
    std::lock_guard g(group.mutex_);
    while (!group.items_.empty())
        removeItem(group, group.items_.front()->serverHandle_);
}

void ToolkitGroupAccess::setGroupActive(SODaSGroupDefault& group, bool active)
{
    std::lock_guard g(group.mutex_);
    if (group.active_.load() == active)
        return;
    group.active_ = active;
    if (active) {
        for (auto& i : group.items_) {
            i->resend_ = true;
            i->changed_ = true;
        }
        group.noteChange();
    }
}

void ToolkitGroupAccess::setChangeWake(SODaSGroupDefault& group, std::function<void()> wake)
{
    std::lock_guard g(group.wakeMutex_);
    group.onChange_ = std::move(wake);
}

void ToolkitGroupAccess::setUpdateRate(SODaSGroupDefault& group, std::uint32_t rate)
{
    std::lock_guard g(group.mutex_);
    group.onUpdateRateChange(rate);
    group.updateRate_ = rate;
}

std::vector<ItemUpdate> ToolkitGroupAccess::collectChanges(SODaSGroupDefault& group)
{
    std::vector<ItemUpdate> out;
    std::lock_guard g(group.mutex_);
    // Changes after this point ring again.
    group.changeRung_.store(false);
    if (!group.active_.load())
        return out;
    for (auto& item : group.items_) {
        if (!item->active_.load())
            continue;
        if (!item->changed_.exchange(false, std::memory_order_acq_rel))
            continue;
        bool initial = item->resend_.exchange(false);
        auto cache = item->subscribedCache_;
        if (!cache)
            continue;
        CacheSnapshot s = cache->snapshot();
        bool send;
        if (initial || !item->sentOnce_)
            send = s.hasValue || s.quality != kOpcQualityGood; // nothing to tell before the first value
        else
            send = s.value != item->lastValue_ || s.quality != item->lastQuality_;
        if (!send)
            continue;
        item->sentOnce_ = true;
        item->lastValue_ = s.value;
        item->lastQuality_ = s.quality;
        out.push_back({item, std::move(s)});
    }
    return out;
}

// ---- server objects ----

std::uint32_t ToolkitGroupAccess::nextGroupHandle(SODaSServer& server)
{
    std::lock_guard g(server.mutex_);
    return server.nextHandle_++;
}

std::uint32_t ToolkitGroupAccess::addGroup(SODaSServer& server, SOCmnPointer<SODaSGroupDefault> group)
{
    std::lock_guard g(server.mutex_);
    std::uint32_t handle = group->getServerHandle();
    server.groups_.emplace(handle, std::move(group));
    return handle;
}

bool ToolkitGroupAccess::groupNameTaken(const SODaSServer& server, const std::string& name)
{
    std::lock_guard g(server.mutex_);
    for (const auto& [h, grp] : server.groups_)
        if (grp->getName() == name)
            return true;
    return false;
}

SOCmnPointer<SODaSGroupDefault> ToolkitGroupAccess::takeGroup(SODaSServer& server, std::uint32_t handle)
{
    std::lock_guard g(server.mutex_);
    auto it = server.groups_.find(handle);
    if (it == server.groups_.end())
        return {};
    SOCmnPointer<SODaSGroupDefault> grp = std::move(it->second);
    server.groups_.erase(it);
    return grp;
}

std::vector<SOCmnPointer<SODaSGroupDefault>> ToolkitGroupAccess::takeAllGroups(SODaSServer& server)
{
    std::lock_guard g(server.mutex_);
    std::vector<SOCmnPointer<SODaSGroupDefault>> all;
    for (auto& [h, grp] : server.groups_)
        all.push_back(std::move(grp));
    server.groups_.clear();
    return all;
}
