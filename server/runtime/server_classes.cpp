#include "server/runtime/server_classes.h"

#include <algorithm>

#include "server/runtime/plc_tag.h"
#include "server/runtime/requests.h"

SOCmnPointer<SODaSGroupDefault> ServerCreator::createGroup(const std::string&)
{
    return makeObject<ServerGroup>();
}

SOCmnPointer<SODaSItemDefault> ServerCreator::createItem(SODaSGroupDefault&, SODaSTag&)
{
    return makeObject<ServerItem>();
}

void ServerGroup::onUpdateRateChange(std::uint32_t newRate)
{
    if (newRate == getUpdateRate())
        return;
    for (const auto& item : getLeafList()) {
        SOCmnPointer<SODaSTag> tag = item->getItemTag();
        if (auto* plcTag = dynamic_cast<PlcTag*>(tag.get()))
            appendActivationChange({0, 1, newRate, plcTag});
    }
}

void ServerItem::onActivationChange(bool active)
{
    SOCmnPointer<SODaSTag> tag = getItemTag();
    auto* plcTag = dynamic_cast<PlcTag*>(tag.get());
    if (!plcTag)
        return;
    std::uint32_t rate = 0;
    if (active) {
        if (auto group = getParentBranch())
            rate = group->getUpdateRate();
        std::lock_guard g(requestLock);
        plcTag->activeItems().push_back(this);
    } else {
        std::lock_guard g(requestLock);
        auto& items = plcTag->activeItems();
        items.erase(std::remove(items.begin(), items.end(), this), items.end());
    }
    appendActivationChange({active ? 1 : 0, 0, rate, plcTag});
}

ServerItem::~ServerItem()
{
    // The tag keeps uncounted item pointers: never leave one behind.
    SOCmnPointer<SODaSTag> tag = getItemTag();
    if (auto* plcTag = dynamic_cast<PlcTag*>(tag.get())) {
        std::lock_guard g(requestLock);
        auto& items = plcTag->activeItems();
        items.erase(std::remove(items.begin(), items.end(), this), items.end());
    }
}
