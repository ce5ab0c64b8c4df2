// The server's single owner of the serial lines: the configured ports, the route table that
// says which unit number and port serve each PLC number, and the current PLC. A line of its
// own (lineChannel) shares the ports and the figures but has its own route table, current PLC
// and receive buffer, so that the lines' workers run their transactions side by side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/format_vocab.h"
#include "server/hostlink/hostlink_codec.h"
#include "server/hostlink/hostlink_result.h"
#include "server/hostlink/line.h"
#include "server/hostlink/link_stats.h"
#include "server/hostlink/serial_port.h"

inline constexpr std::size_t kPortNameMax = 7;  // significant characters of a port name

struct PlcRoute {
    std::uint8_t unitNumber = 0;
    char portName[kPortNameMax + 1] = {};

    // A name longer than 7 characters is not stored: such a route finds no port, so its PLC
    // fails with 16 instead of being served on a port cut to a different name.
    static PlcRoute make(std::uint8_t unitNumber, std::string_view portName);
};

class HostLinkChannel {
public:
    // factory makes the line behind each port; the server's default is posixLineFactory().
    explicit HostLinkChannel(LineFactory factory);
    HostLinkChannel();
    ~HostLinkChannel();
    HostLinkChannel(const HostLinkChannel&) = delete;
    HostLinkChannel& operator=(const HostLinkChannel&) = delete;

    // The process-wide channel. create() does nothing when it exists already.
    static HostLinkChannel& create();
    static HostLinkChannel* instance();
    static void destroy();

    // A channel for one line's worker, on this channel's ports and figures; this channel
    // must outlive it. Its route table starts empty.
    std::unique_ptr<HostLinkChannel> lineChannel();

    // The first definition of a name wins; later ones are ignored (false). Names longer than
    // 7 characters are refused (false). parityWord "NO" none, "ODD" odd, anything else even;
    // stopBits 1 gives one stop bit, any other value two.
    bool addPort(std::string_view name, std::uint32_t baudRate, std::string_view parityWord,
                 int stopBits, int dataBits);

    void setRoutes(const PlcRoute* routes, std::size_t count);
    void setRoutes(const std::vector<PlcRoute>& routes) { setRoutes(routes.data(), routes.size()); }
    void clearRoutes();

    // n from 1 to routeCount. 0 when the PLC's port is open (opening it when needed), 16 when
    // it cannot be opened, when n is out of range, or when no port has the route's name (the
    // PLC is then left without a port rather than served on another PLC's line).
    HostLinkResult selectPlc(std::size_t n);

    // The transactions on the current PLC; 1 when it has no open port.
    HostLinkResult readWords(MemoryArea area, std::uint16_t firstWord, std::uint16_t count,
                             std::uint16_t* words);
    HostLinkResult writeWords(MemoryArea area, std::uint16_t firstWord, std::uint16_t count,
                              const std::uint16_t* words);
    // A single-frame command on the current PLC (MS, MM, TS, SC; see plc_health_codec.h),
    // counted in its figures (not as a good read). "IC" counts as answered, not as a failure.
    HostLinkResult command(const char* header, const std::string& payload, bool hasEndCode, std::string* data);

    std::size_t currentPlc() const { return currentPlc_; }
    std::size_t routeCount() const { return routes_.size(); }
    bool hasRoutes() const { return haveRoutes_; }
    const PlcRoute* route(std::size_t n) const;  // 1-based; nullptr out of range
    SerialPort* currentPort() { return currentPort_; }
    // In the order of definition.
    const std::vector<std::unique_ptr<SerialPort>>& ports() const { return owner_->ports_; }
    SerialPort* findPort(std::string_view name);
    const std::uint8_t* receiveBuffer() const { return receiveBuffer_; }

    // The figures of every transaction made through this channel.
    LinkStats& stats() { return owner_->stats_; }
    const LinkStats& stats() const { return owner_->stats_; }

private:
    bool reopenIfGone();
    // A read's success is a good read; a write does not wait out a network line's back-off;
    // a command (status, model) counts in the figures as neither.
    enum class Kind { Read, Write, Command };
    // Runs one transaction (given the unit number) on the current PLC's port, opening it when
    // needed, and counts it.
    template <class Transaction>
    HostLinkResult transact(Kind kind, Transaction&& transaction);

    explicit HostLinkChannel(HostLinkChannel* owner);

    HostLinkChannel* owner_ = this; // whose ports and figures these are
    LineFactory factory_;
    std::vector<PlcRoute> routes_;
    bool haveRoutes_ = false;
    SerialPort* currentPort_ = nullptr;
    std::size_t currentPlc_ = 0;
    std::vector<std::unique_ptr<SerialPort>> ports_;
    std::uint8_t receiveBuffer_[kReceiveBufferSize] = {};
    LinkStats stats_;
};
