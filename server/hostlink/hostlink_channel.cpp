#include "server/hostlink/hostlink_channel.h"

#include "server/hostlink/plc_health_codec.h"

#include <algorithm>
#include <cstring>

#include "server/hostlink/hostlink_transactions.h"
#include "server/hostlink/port_names.h"

namespace {

std::unique_ptr<HostLinkChannel>& theChannel()
{
    static std::unique_ptr<HostLinkChannel> channel;
    return channel;
}

} // namespace

PlcRoute PlcRoute::make(std::uint8_t unitNumber, std::string_view portName)
{
    PlcRoute route;
    route.unitNumber = unitNumber;
    if (portName.size() <= kPortNameMax)
        std::memcpy(route.portName, portName.data(), portName.size());
    return route;
}

HostLinkChannel::HostLinkChannel(LineFactory factory) : factory_(std::move(factory)) {}

HostLinkChannel::HostLinkChannel() : HostLinkChannel(posixLineFactory()) {}

HostLinkChannel::HostLinkChannel(HostLinkChannel* owner) : owner_(owner) {}

std::unique_ptr<HostLinkChannel> HostLinkChannel::lineChannel()
{
    return std::unique_ptr<HostLinkChannel>(new HostLinkChannel(owner_));
}

HostLinkChannel::~HostLinkChannel() = default;

HostLinkChannel& HostLinkChannel::create()
{
    auto& channel = theChannel();
    if (!channel)
        channel = std::make_unique<HostLinkChannel>();
    return *channel;
}

HostLinkChannel* HostLinkChannel::instance()
{
    return theChannel().get();
}

void HostLinkChannel::destroy()
{
    theChannel().reset();
}

bool HostLinkChannel::addPort(std::string_view name, std::uint32_t baudRate,
                              std::string_view parityWord, int stopBits, int dataBits)
{
    if (name.empty() || name.size() > kPortNameMax || findPort(name) != nullptr)
        return false;
    SerialSettings settings;
    settings.baudRate = baudRate;
    settings.parity = parityWord == "NO" ? kNoParity : parityWord == "ODD" ? kOddParity : kEvenParity;
    settings.stopBits = stopBits == 1 ? kOneStopBit : kTwoStopBits;
    settings.dataBits = static_cast<std::uint8_t>(dataBits);
    std::unique_ptr<Line> line = owner_->factory_ ? owner_->factory_(name, settings) : nullptr;
    owner_->ports_.push_back(std::make_unique<SerialPort>(std::string(name), settings, std::move(line)));
    return true;
}

SerialPort* HostLinkChannel::findPort(std::string_view name)
{
    for (auto& port : owner_->ports_) {
        if (port->name() == name)
            return port.get();
    }
    return nullptr;
}

void HostLinkChannel::setRoutes(const PlcRoute* routes, std::size_t count)
{
    routes_.assign(routes, routes + count);
    haveRoutes_ = true;
    currentPlc_ = 0;
}

void HostLinkChannel::clearRoutes()
{
    routes_.clear();
    haveRoutes_ = false;
    currentPlc_ = 0;
}

const PlcRoute* HostLinkChannel::route(std::size_t n) const
{
    return n >= 1 && n <= routes_.size() ? &routes_[n - 1] : nullptr;
}

HostLinkResult HostLinkChannel::selectPlc(std::size_t n)
{
    const PlcRoute* r = route(n);
    if (r == nullptr) {
        currentPort_ = nullptr;
        currentPlc_ = 0;
        return kHostLinkPortNotOpened;
    }
    const std::string_view wanted(r->portName, strnlen(r->portName, sizeof r->portName));
    // A PLC whose port is not defined gets no port at all: serving it on the previous PLC's
    // line would send its commands to whichever PLC answers that unit number there.
    currentPort_ = wanted.empty() ? nullptr : findPort(wanted);
    currentPlc_ = n;
    if (currentPort_ == nullptr)
        return kHostLinkPortNotOpened;
    return currentPort_->open() ? kHostLinkOk : kHostLinkPortNotOpened;
}

template <class Transaction>
HostLinkResult HostLinkChannel::transact(Kind kind, Transaction&& transaction)
{
    const PlcRoute* r = route(currentPlc_);
    if (r == nullptr || currentPort_ == nullptr)
        return kHostLinkSendFailed;
    // A client's write does not wait out a network line's back-off.
    if (kind == Kind::Write && !currentPort_->isOpen())
        currentPort_->line()->tryAtOnce();
    if (!reopenIfGone())
        return kHostLinkPortNotOpened;
    const std::uint64_t sent = currentPort_->charactersSent();
    const std::uint64_t received = currentPort_->charactersReceived();
    const auto began = LinkStats::Clock::now();
    const HostLinkResult result = transaction(r->unitNumber);
    stats().transaction(currentPlc_, currentPort_->name(), currentPort_->charactersSent() - sent,
                       currentPort_->charactersReceived() - received, LinkStats::Clock::now() - began,
                       result == kHostLinkNotSupported ? kHostLinkOk : result, kind == Kind::Read);
    return result;
}

bool HostLinkChannel::reopenIfGone()
{
    // A port whose device went away closed itself; the PLC stays selected, so no selectPlc
    // would open it again (one PLC on the line, or device reads only): open it here.
    return currentPort_->isOpen() || currentPort_->open();
}

HostLinkResult HostLinkChannel::readWords(MemoryArea area, std::uint16_t firstWord,
                                          std::uint16_t count, std::uint16_t* words)
{
    if (headerLetter(area) == 0)
        return kHostLinkNoArea;
    return transact(Kind::Read, [&](std::uint8_t unit) {
        return readWordsOn(*currentPort_, unit, area, firstWord, count, words, receiveBuffer_);
    });
}

HostLinkResult HostLinkChannel::writeWords(MemoryArea area, std::uint16_t firstWord,
                                           std::uint16_t count, const std::uint16_t* words)
{
    if (headerLetter(area) == 0)
        return kHostLinkNoArea;
    if (count == 0)
        return kHostLinkOk;
    return transact(Kind::Write, [&](std::uint8_t unit) {
        return writeWordsOn(*currentPort_, unit, area, firstWord, count, words, receiveBuffer_);
    });
}

HostLinkResult HostLinkChannel::command(const char* header, const std::string& payload, bool hasEndCode,
                                        std::string* data)
{
    return transact(Kind::Command, [&](std::uint8_t unit) {
        return commandOn(*currentPort_, unit, header, payload, hasEndCode, data, receiveBuffer_);
    });
}
