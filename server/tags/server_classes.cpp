#include "server/tags/server_classes.h"

#include <algorithm>

#include "server/tags/plc_tag.h"
#include "server/tags/requests.h"

SOCmnPointer<SODaSGroupDefault> ServerCreator::createGroup(const std::string&)
{
    return makeObject<ServerGroup>();
}

SOCmnPointer<SODaSItemDefault> ServerCreator::createItem(SODaSGroupDefault&, SODaSTag&)
{
    return makeObject<ServerItem>();
}

namespace {

// The rate a watched tag is polled at: the fastest among the groups of its active items, a
// group about to take a new rate counting with that one. 0 when nobody watches. requestLock.
std::uint32_t fastestActiveRate(const PlcTag& tag, const SODaSGroupDefault* changing, std::uint32_t newRate)
{
    bool any = false;
    std::uint32_t fastest = 0;
    for (const ServerItem* item : tag.activeItems()) {
        SOCmnPointer<SODaSGroupDefault> group = item->getParentBranch();
        if (!group)
            continue;
        const std::uint32_t rate = group.get() == changing ? newRate : group->getUpdateRate();
        fastest = any ? std::min(fastest, rate) : rate;
        any = true;
    }
    return fastest;
}

} // namespace

void ServerGroup::onUpdateRateChange(std::uint32_t newRate)
{
    if (newRate == getUpdateRate())
        return;
    // Only watched tags follow a rate: an inactive item must not start its tag's polling, and
    // a slower group must not slow a tag that a faster one still wants.
    for (const auto& item : getLeafList()) {
        if (!item->getActive())
            continue;
        SOCmnPointer<SODaSTag> tag = item->getItemTag();
        if (auto* plcTag = dynamic_cast<PlcTag*>(tag.get())) {
            std::lock_guard g(requestLock);
            appendActivationChange({0, 1, fastestActiveRate(*plcTag, this, newRate), plcTag});
        }
    }
}

void ServerItem::onActivationChange(bool active)
{
    SOCmnPointer<SODaSTag> tag = getItemTag();
    auto* plcTag = dynamic_cast<PlcTag*>(tag.get());
    if (!plcTag)
        return;
    std::lock_guard g(requestLock);
    auto& items = plcTag->activeItems();
    if (active)
        items.push_back(this);
    else
        items.erase(std::remove(items.begin(), items.end(), this), items.end());
    appendActivationChange({active ? 1 : 0, 0, fastestActiveRate(*plcTag, nullptr, 0), plcTag});
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
