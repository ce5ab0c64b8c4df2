// A running server without its window: the toolkit entry, the request queues, PLCs and tags,
// the polling thread on simulated PLCs behind pseudo-terminals, and one connected client.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/hostlink/hostlink_channel.h"
#include "server/polling/message_catalog.h"
#include "server/polling/message_ring.h"
#include "server/polling/plc_list.h"
#include "server/polling/polling_thread.h"
#include "server/polling/main_window_link.h"
#include "server/tags/plc_tag.h"
#include "server/toolkit/da_client.h"
#include "tools/plcsim/plc_simulator.h"

// The source tree, for the delivered message catalogue.
const char* sourceDir();

// Counts what the polling thread tells the window.
class RecordingWindow : public MainWindowLink {
public:
    void messageBox(const std::string&, const std::string&) override {}
    void messageRingChanged() override { ++ringChanges; }
    void noPlcConfigured() override { ++noPlc; }
    void postClose() override {}
    std::atomic<int> ringChanges{0};
    std::atomic<int> noPlc{0};
};

class PollingScenario {
public:
    // replyTimeoutMs: how long a port waits for a reply before it counts as missing (2000 in
    // the server; tests keep it short).
    explicit PollingScenario(int replyTimeoutMs = 300);
    ~PollingScenario();

    // A simulator on its own pseudo-terminal, reached through the port name.
    // via, when given, makes the target the port resolves to from the terminal's path (a
    // device server in front of it: "tcp://127.0.0.1:4001").
    PlcSimulator& addLine(const std::string& portName, std::vector<std::uint8_t> units,
                          std::uint32_t baud = 0,
                          const std::function<std::string(const std::string& terminal)>& via = {});
    Plc& addPlc(const std::string& name, std::uint8_t unit, const std::string& portName);
    // A tag as a leaf of its PLC's node; the item ID is "<plc>.<name>".
    PlcTag& addTag(Plc& plc, const std::string& name, std::uint16_t vartype, MemoryArea area,
                   std::uint16_t address, std::uint16_t bit = 0, std::uint16_t elements = 0,
                   bool bcd = false);

    // One polling worker per line (the default, unless VORLASK_LINE_THREADS is "0"), or one
    // for every PLC; before start().
    void setOneThreadPerLine(bool on) { oneThreadPerLine_ = on; }
    // Each answering PLC's status every so often; 0 (the default here) none, so that what the
    // scenarios count on the line is their blocks' alone. Before start().
    void setStatusInterval(std::chrono::milliseconds interval) { statusInterval_ = interval; }
    // Starts the polling thread and connects the client.
    void start();
    void stopThread();

    GroupHandle addGroup(std::uint32_t updateRate, bool active = true);
    ItemHandle addItem(GroupHandle group, const std::string& itemId, bool active = true);
    std::vector<ItemHandle> addItems(GroupHandle group, const std::vector<std::string>& itemIds,
                                     bool active = true);

    // Block labels of the PLC's cyclic blocks ("DM100-LEN27"), taken under requestLock.
    std::vector<std::string> blockLabels(const Plc& plc) const;
    std::vector<std::uint32_t> blockRates(const Plc& plc) const;
    // Waits for the activation queue to be applied (or the time to pass).
    bool waitForBlocks(const Plc& plc, std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const;
    static bool waitUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

    std::uint16_t quality(const PlcTag& tag) const;
    std::string logText() const;
    int logLines() const;

    DaClient& client() { return *client_; }
    HostLinkChannel& channel() { return *channel_; }
    PlcList& plcs() { return *plcs_; }
    PollingThread& thread() { return *thread_; }
    MessageRing& ring() { return ring_; }
    RecordingWindow& window() { return window_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    int replyTimeoutMs_;
    bool oneThreadPerLine_;
    std::chrono::milliseconds statusInterval_{0};
    std::filesystem::path folder_;
    std::map<std::string, std::unique_ptr<PlcSimulator>> lines_;
    std::map<std::string, std::string> targets_; // ports reached through a device server
    std::unique_ptr<HostLinkChannel> channel_;
    std::unique_ptr<PlcList> plcs_;
    MessageRing ring_;
    MessageCatalog catalog_;
    RecordingWindow window_;
    std::unique_ptr<PollingThread> thread_;
    std::unique_ptr<DaClient> client_;
};
