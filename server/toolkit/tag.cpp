#include "server/toolkit/tag.h"

#include <vector>

#include "server/toolkit/node.h"

void SODaSElement::setName(std::string name)
{
    std::lock_guard g(elementMutex_);
    name_ = std::move(name);
}

std::string SODaSElement::getName() const
{
    std::lock_guard g(elementMutex_);
    return name_;
}

SOCmnPointer<SODaSNode> SODaSElement::getParentBranch() const
{
    std::lock_guard g(elementMutex_);
    return SOCmnPointer<SODaSNode>::share(parent_);
}

std::string SODaSElement::getItemID() const
{
    std::vector<std::string> names;
    names.push_back(getName());
    SOCmnPointer<SODaSNode> node = getParentBranch();
    char delimiter = '.';
    while (node) {
        SOCmnPointer<SODaSNode> up = node->getParentBranch();
        if (!up) {
            if (auto* root = dynamic_cast<SODaSNameSpaceRoot*>(node.get()))
                delimiter = root->getTreeDelimiter(nullptr, nullptr);
            else
                names.push_back(node->getName()); // a detached subtree: its top counts
            break;
        }
        names.push_back(node->getName());
        node = std::move(up);
    }
    std::string id;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!id.empty() || it != names.rbegin())
            id += delimiter;
        id += *it;
    }
    return id;
}

void SODaSProperty::setConstantValue(Variant value)
{
    std::lock_guard g(mutex_);
    value_ = std::move(value);
}

Variant SODaSProperty::getConstantValue() const
{
    std::lock_guard g(mutex_);
    return value_;
}

SODaSTag::SODaSTag() : cache_(makeObject<SODaSCache>()) {}

SODaSTag::~SODaSTag() = default;

void SODaSTag::setAccessRights(std::uint8_t rights) { accessRights_ = rights; }
std::uint8_t SODaSTag::getAccessRights() const { return accessRights_; }
void SODaSTag::setDeviceIOMode(std::uint8_t mode) { deviceIOMode_ = mode; }
std::uint8_t SODaSTag::getDeviceIOMode() const { return deviceIOMode_; }

void SODaSTag::setNativeDatatype(std::uint16_t vartype)
{
    nativeDatatype_ = vartype;
    if (auto cache = getCache())
        cache->setDatatype(vartype);
}

std::uint16_t SODaSTag::getNativeDatatype() const { return nativeDatatype_; }

SOCmnPointer<SODaSCache> SODaSTag::getCache() const
{
    std::lock_guard g(tagMutex_);
    return cache_;
}

void SODaSTag::setCache(SOCmnPointer<SODaSCache> cache)
{
    SOCmnPointer<SODaSCache> old;
    {
        std::lock_guard g(tagMutex_);
        old = std::move(cache_);
        cache_ = std::move(cache);
    }
}

void SODaSTag::addProperty(SOCmnPointer<SODaSProperty> property)
{
    if (!property)
        return;
    std::lock_guard g(tagMutex_);
    for (auto& p : properties_) {
        if (p->getPropertyId() == property->getPropertyId()) {
            p = std::move(property);
            return;
        }
    }
    properties_.push_back(std::move(property));
}

SOCmnPointer<SODaSProperty> SODaSTag::getProperty(std::uint32_t id) const
{
    std::lock_guard g(tagMutex_);
    for (const auto& p : properties_)
        if (p->getPropertyId() == id)
            return p;
    return {};
}

std::vector<SOCmnPointer<SODaSProperty>> SODaSTag::getProperties() const
{
    std::lock_guard g(tagMutex_);
    return properties_;
}

void SODaSTag::handleRequest(SODaSRequest* request)
{
    if (!request)
        return;
    if (request->getOperation() == SODaSRequest::write) {
        Variant v;
        auto cache = getCache();
        if (request->getWriteValue(v) && cache && cache->setValue(v, kOpcQualityGood))
            request->complete(kResultOk);
        else
            request->complete(kResultFail);
        return;
    }
    request->complete(kResultOk);
}
