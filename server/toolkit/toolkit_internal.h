// What the toolkit's client side does to groups, items and server objects. Not for the server.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "server/toolkit/group_item.h"
#include "server/toolkit/server_object.h"

class SODaSEntry;

struct ItemUpdate {
    SOCmnPointer<SODaSItemDefault> item;
    CacheSnapshot state;
};

class ToolkitGroupAccess {
public:
    static void initGroup(SODaSGroupDefault& group, SODaSServer& server, std::uint32_t handle, std::string name,
                          bool active, std::uint32_t updateRate);
    // Binds a new item to its tag and appends it to the group; returns its handle.
    static std::uint32_t addItem(SODaSGroupDefault& group, SODaSItemDefault& item, SOCmnPointer<SODaSTag> tag,
                                 std::string itemId);
    static SOCmnPointer<SODaSItemDefault> findItem(const SODaSGroupDefault& group, std::uint32_t handle);
    // Deactivates (with notification) an active item, then unbinds and drops it.
    static bool removeItem(SODaSGroupDefault& group, std::uint32_t handle);
    static void removeAllItems(SODaSGroupDefault& group);
    static void setItemActive(SODaSItemDefault& item, bool active);
    static void setGroupActive(SODaSGroupDefault& group, bool active);
    // Runs the group's notification, then stores the rate.
    static void setUpdateRate(SODaSGroupDefault& group, std::uint32_t rate);
    // Active items of an active group whose value or quality changed since last sent.
    static std::vector<ItemUpdate> collectChanges(SODaSGroupDefault& group);
    // What runs when an item of the group has a change to report (empty: nothing).
    static void setChangeWake(SODaSGroupDefault& group, std::function<void()> wake);
    static std::recursive_mutex& groupMutex(SODaSGroupDefault& group) { return group.mutex_; }

    // Server objects: group handles and the detached mark.
    static std::uint32_t addGroup(SODaSServer& server, SOCmnPointer<SODaSGroupDefault> group);
    static bool groupNameTaken(const SODaSServer& server, const std::string& name);
    static SOCmnPointer<SODaSGroupDefault> takeGroup(SODaSServer& server, std::uint32_t handle);
    static std::vector<SOCmnPointer<SODaSGroupDefault>> takeAllGroups(SODaSServer& server);
    // True only for the first caller.
    static bool detach(SODaSServer& server) { return !server.detached_.exchange(true); }
    static bool isDetached(const SODaSServer& server) { return server.detached_.load(); }
    static std::uint32_t nextGroupHandle(SODaSServer& server);
};

// Removes every group of a client (deactivating its items) and takes it out of the object root.
// Returns whether the object root became empty by it.
bool releaseServerObject(SODaSEntry& entry, SODaSServer& server);
