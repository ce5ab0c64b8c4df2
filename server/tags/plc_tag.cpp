#include "server/tags/plc_tag.h"

#include <new>

#include "server/tags/requests.h"
#include "server/toolkit/quality.h"

std::uint16_t wordCountFor(std::uint16_t type, MemoryArea area, std::uint16_t bit, std::uint16_t elements)
{
    const std::uint32_t e = elements;
    std::uint32_t words = 0;
    switch (type) {
    case vt::BOOL:
    case vt::I2:
    case vt::UI2: words = 1; break;
    case vt::I4:
    case vt::UI4:
    case vt::R4: words = 2; break;
    case vt::BSTR: words = (e + 1) / 2; break;
    case vt::ARRAY | vt::BOOL: words = area == MemoryArea::TG ? e : (bit + e + 15) / 16; break;
    case vt::ARRAY | vt::I1:
    case vt::ARRAY | vt::UI1: words = (e + 1) / 2; break;
    case vt::ARRAY | vt::I2:
    case vt::ARRAY | vt::UI2: words = e; break;
    case vt::ARRAY | vt::I4:
    case vt::ARRAY | vt::R4:
    case vt::ARRAY | vt::UI4: words = e * 2; break;
    default: words = 0; break;
    }
    // A run longer than 16-bit counts can carry cannot be moved at all.
    return words > 0xFFFF ? 0 : static_cast<std::uint16_t>(words);
}

bool bcdAccepted(std::uint16_t type)
{
    switch (type) {
    case vt::UI2:
    case vt::UI4:
    case vt::ARRAY | vt::UI2:
    case vt::ARRAY | vt::UI4:
    case vt::BSTR: return true;
    default: return false;
    }
}

PlcTag::PlcTag(const std::string& name, std::uint8_t accessRights, bool bcd, std::uint16_t nativeDatatype,
               const std::string& description, std::uint16_t address, MemoryArea area, std::uint16_t bit,
               std::uint16_t elements, PlcTagOwner* owner)
    : address_(address), area_(area), bit_(bit), bcd_(bcd ? 1 : 0), elements_(elements)
{
    try {
        setName(name);
        setAccessRights(accessRights);
        setDeviceIOMode(kDeviceIOHandleRequest);
        setNativeDatatype(nativeDatatype);

        auto cache = getCache();
        const bool arrayType = (nativeDatatype & vt::ARRAY) != 0;
        // Clients through the door may not write past the configured words; the toolkit's own
        // clients keep the rule that a longer write takes its length.
        if (arrayType || nativeDatatype == vt::BSTR)
            setMaxElements(elements);
        if (arrayType && Variant::isSupportedType(nativeDatatype))
            cache->setValue(Variant::makeArray(nativeDatatype, elements), kOpcQualityGood, nullptr, nullptr,
                            kLocaleSystemDefault);
        else if (nativeDatatype == vt::BSTR)
            cache->setValue(Variant::fromString(std::string(elements, ' ')), kOpcQualityGood, nullptr, nullptr,
                            kLocaleSystemDefault);
        else
            cache->setQuality(kOpcQualityGood);

        auto property = makeObject<SODaSProperty>(kPropertyDescription);
        property->setConstantValue(description);
        addProperty(std::move(property));

        owner_ = SOCmnPointer<PlcTagOwner>::share(owner);
    } catch (const std::bad_alloc&) {
        throwOutOfMemory();
    }
}

PlcTag::~PlcTag()
{
    const std::uint16_t type = getNativeDatatype();
    if (auto cache = getCache(); cache && ((type & vt::ARRAY) || type == vt::BSTR))
        cache->clearValue();
    setCache(nullptr);
    activeItems_.clear();
    owner_.reset();
}

std::uint16_t PlcTag::wordCount() const { return wordCountFor(getNativeDatatype(), area_, bit_, elements()); }

void PlcTag::handleRequest(SODaSRequest* request)
{
    if (!request)
        return;
    switch (request->getOperation()) {
    case SODaSRequest::read:
        if (request->isDeviceRead()) {
            PendingRequest pending{SOCmnPointer<SODaSRequest>::share(request), this};
            request->setPending();
            if (!appendReadRequest(std::move(pending)))
                request->complete(kResultFail, true, kOpcQualityBad); // no polling side to serve it
        } else {
            // Refresh and cyclic reads are answered from the cache without touching the PLC.
            request->complete(kResultOk, false, kOpcQualityUncertain, 0, 1);
        }
        break;
    case SODaSRequest::write: {
        PendingRequest pending{SOCmnPointer<SODaSRequest>::share(request), this};
        request->setPending();
        if (!appendWriteRequest(std::move(pending)))
            request->complete(kResultFail, true, kOpcQualityBad);
        break;
    }
    default:
        break;
    }
}
