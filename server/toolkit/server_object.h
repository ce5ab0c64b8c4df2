// Client server objects (one per connected client) and the object root that lists them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "server/toolkit/cmn_object.h"
#include "server/toolkit/group_item.h"

class SODaSServer : public SOCmnObject {
public:
    // Asked by "shut down all clients" with the reason text; the client should disconnect.
    using ShutdownRequest = std::function<void(const std::string& reason)>;

    SODaSServer(std::string clientName, ShutdownRequest shutdown);

    const std::string& getClientName() const { return clientName_; }
    std::vector<SOCmnPointer<SODaSGroupDefault>> getGroups() const;
    void requestShutdown(const std::string& reason) const;

private:
    friend class ToolkitGroupAccess;
    friend class DaClient;

    const std::string clientName_;
    const ShutdownRequest shutdown_;
    mutable std::mutex mutex_;
    std::map<std::uint32_t, SOCmnPointer<SODaSGroupDefault>> groups_;
    std::uint32_t nextHandle_ = 1;
    std::atomic<bool> detached_{false}; // left the object root (disconnect or terminate)
};

class SOSrvObjectRoot : public SOCmnObject {
public:
    // The connected client server objects, in connection order.
    std::vector<SOCmnPointer<SODaSServer>> getBranchList() const;
    std::size_t serverCount() const;

private:
    friend class SODaSEntry;
    mutable std::mutex mutex_;
    std::vector<SOCmnPointer<SODaSServer>> servers_;
};
