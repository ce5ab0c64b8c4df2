#include "server/toolkit/server_object.h"

#include "server/toolkit/entry.h"
#include "server/toolkit/toolkit_internal.h"

SODaSServer::SODaSServer(std::string clientName, ShutdownRequest shutdown)
    : clientName_(std::move(clientName)), shutdown_(std::move(shutdown))
{
}

std::vector<SOCmnPointer<SODaSGroupDefault>> SODaSServer::getGroups() const
{
    std::lock_guard g(mutex_);
    std::vector<SOCmnPointer<SODaSGroupDefault>> all;
    for (const auto& [h, grp] : groups_)
        all.push_back(grp);
    return all;
}

void SODaSServer::requestShutdown(const std::string& reason) const
{
    if (shutdown_)
        shutdown_(reason);
}

std::vector<SOCmnPointer<SODaSServer>> SOSrvObjectRoot::getBranchList() const
{
    std::lock_guard g(mutex_);
    return servers_;
}

std::size_t SOSrvObjectRoot::serverCount() const
{
    std::lock_guard g(mutex_);
    return servers_.size();
}

bool releaseServerObject(SODaSEntry& entry, SODaSServer& server)
{
    if (!ToolkitGroupAccess::detach(server))
        return false;
    for (auto& group : ToolkitGroupAccess::takeAllGroups(server))
        ToolkitGroupAccess::removeAllItems(*group);
    entry.clientReleased(&server);
    return true;
}
