// The server's one communication thread: carries out queued writes and device reads, keeps
// the cyclic blocks in step with item activation, and reads one due cyclic block per pass,
// serving the PLCs in turn.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "server/hostlink/hostlink_result.h"

class HostLinkChannel;
class MainWindowLink;
class MessageCatalog;
class MessageRing;
class Plc;
class PlcList;
class SOCmnEvent;

class PollingThread {
public:
    struct Options {
        PlcList* plcs = nullptr;             // default: the server's PLC list
        HostLinkChannel* channel = nullptr;  // default: HostLinkChannel::instance()
        MessageRing* ring = nullptr;         // default: the server's messageRing
        MessageCatalog* catalog = nullptr;   // default: MessageCatalog::instance()
        // Where Vorlask.dat is read and Log.err written; default: the executable's folder.
        std::filesystem::path dataFolder;
        bool useDataFolder = false;
    };

    explicit PollingThread(MainWindowLink* window);
    PollingThread(MainWindowLink* window, Options options);
    // Stops the thread (stopEvent, then join) if it still runs.
    ~PollingThread();
    PollingThread(const PollingThread&) = delete;
    PollingThread& operator=(const PollingThread&) = delete;

    // Starts the thread. With no PLC configured it tells the window and ends at once.
    void start();
    // Sets stopEvent and waits without limit for the thread to end (a transaction in
    // progress is finished first).
    void stop();
    void join();
    bool running() const { return running_; }
    // 0 once the thread has ended.
    int exitCode() const { return exitCode_; }

    // The event shutdown sets; taken from the toolkit's event pool by start() (nullptr
    // before that and after stop()).
    SOCmnEvent* stopEvent() const { return stopEvent_.load(); }

    // Passes run so far (for tests and benchmarks).
    std::uint64_t passes() const { return passes_; }

private:
    int run();
    void buildRoutes();
    void runPass();
    void selectFor(Plc& plc);
    void phaseWrites();
    void phaseReads();
    void phaseActivation();
    void phaseCyclic();
    void report(HostLinkResult result, const std::string& plcName);

    MainWindowLink* window_;
    Options options_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<SOCmnEvent*> stopEvent_{nullptr};
    std::atomic<int> exitCode_{0};
    std::atomic<std::uint64_t> passes_{0};
    HostLinkResult previousResult_ = 0; // the result of the previous pass
};
