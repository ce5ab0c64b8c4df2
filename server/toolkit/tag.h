// Namespace elements with names, properties and the tag (leaf) base class.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "server/toolkit/cache.h"
#include "server/toolkit/cmn_object.h"
#include "server/toolkit/request.h"
#include "server/toolkit/variant.h"

class SODaSNode;

// Named element of the namespace. The parent is set by addBranch/addLeaf (not counted: the
// parent owns its children).
class SODaSElement : public SOCmnObject {
public:
    void setName(std::string name);
    std::string getName() const;
    SOCmnPointer<SODaSNode> getParentBranch() const;
    // Names from the root joined by the root's delimiter ("Press.Line1.Speed").
    std::string getItemID() const;

protected:
    friend class SODaSNode;
    mutable std::mutex elementMutex_;
    std::string name_;
    SODaSNode* parent_ = nullptr;
};

inline constexpr std::uint32_t kPropertyDatatype = 1;
inline constexpr std::uint32_t kPropertyValue = 2;
inline constexpr std::uint32_t kPropertyQuality = 3;
inline constexpr std::uint32_t kPropertyTimeStamp = 4;
inline constexpr std::uint32_t kPropertyAccessRights = 5;
inline constexpr std::uint32_t kPropertyDescription = 101;

class SODaSProperty : public SOCmnObject {
public:
    explicit SODaSProperty(std::uint32_t id) : id_(id) {}
    std::uint32_t getPropertyId() const { return id_; }
    void setConstantValue(Variant value);
    void setConstantValue(const std::string& text) { setConstantValue(Variant::fromString(text)); }
    Variant getConstantValue() const;

private:
    const std::uint32_t id_;
    mutable std::mutex mutex_;
    Variant value_;
};

inline constexpr std::uint8_t kAccessReadable = 1;
inline constexpr std::uint8_t kAccessWritable = 2;

// Device I/O mode 0: the toolkit answers every read from the cache and stores writes in the
// cache. Mode 1: device reads and all writes go to handleRequest.
inline constexpr std::uint8_t kDeviceIOCache = 0;
inline constexpr std::uint8_t kDeviceIOHandleRequest = 1;

inline constexpr std::int32_t kNoMaxElements = -1;

class SODaSTag : public SODaSElement {
public:
    SODaSTag(); // with a cache of its own
    ~SODaSTag() override;

    void setAccessRights(std::uint8_t rights);
    std::uint8_t getAccessRights() const;
    void setDeviceIOMode(std::uint8_t mode);
    std::uint8_t getDeviceIOMode() const;
    // Also sets the cache's datatype.
    void setNativeDatatype(std::uint16_t vartype);
    std::uint16_t getNativeDatatype() const;
    // The most elements (characters of a string) the tag's memory holds, for clients that
    // must not write past it; kNoMaxElements for a scalar or when unbounded.
    void setMaxElements(std::int32_t count) { maxElements_.store(count, std::memory_order_relaxed); }
    std::int32_t getMaxElements() const { return maxElements_.load(std::memory_order_relaxed); }

    // Empty after setCache(nullptr).
    SOCmnPointer<SODaSCache> getCache() const;
    void setCache(SOCmnPointer<SODaSCache> cache);

    void addProperty(SOCmnPointer<SODaSProperty> property);
    SOCmnPointer<SODaSProperty> getProperty(std::uint32_t id) const;
    std::vector<SOCmnPointer<SODaSProperty>> getProperties() const;

    // Called on a toolkit thread for the requests that must reach the device (mode 1). The
    // base answers from and into the cache, as mode 0 does. The request carries its own
    // reference for the duration of the call; keep a handle to hold it longer.
    virtual void handleRequest(SODaSRequest* request);

private:
    std::atomic<std::uint8_t> accessRights_{0};
    std::atomic<std::uint8_t> deviceIOMode_{kDeviceIOCache};
    std::atomic<std::uint16_t> nativeDatatype_{vt::EMPTY};
    std::atomic<std::int32_t> maxElements_{kNoMaxElements};
    mutable std::mutex tagMutex_;
    SOCmnPointer<SODaSCache> cache_;
    std::vector<SOCmnPointer<SODaSProperty>> properties_;
};
