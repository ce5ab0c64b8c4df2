// The server's kinds of toolkit objects: creator, group, item and branch node.
#pragma once

#include <cstdint>
#include <string>

#include "server/toolkit/group_item.h"
#include "server/toolkit/node.h"

// Makes ServerGroup and ServerItem for every client group and item.
class ServerCreator : public SODaSCreator {
public:
    SOCmnPointer<SODaSGroupDefault> createGroup(const std::string& name) override;
    SOCmnPointer<SODaSItemDefault> createItem(SODaSGroupDefault& group, SODaSTag& tag) override;

protected:
    ~ServerCreator() override = default;
};

// A rate change queues one rate-change record per item of the group whose tag is a PlcTag.
class ServerGroup : public SODaSGroupDefault {
protected:
    ~ServerGroup() override = default;
    void onUpdateRateChange(std::uint32_t newRate) override;
};

// Activation keeps the tag's active-items list and queues an activation record.
class ServerItem : public SODaSItemDefault {
protected:
    ~ServerItem() override; // leaves the tag's active-items list if still on it
    void onActivationChange(bool active) override;
};

// A PLC or branch node of the namespace.
class ServerBranch : public SODaSNodeDefault {
public:
    explicit ServerBranch(std::string name) : SODaSNodeDefault(std::move(name)) {}

protected:
    ~ServerBranch() override = default;
};
