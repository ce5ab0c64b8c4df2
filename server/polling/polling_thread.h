// The server's communication: carries out queued writes and device reads, keeps the cyclic
// blocks in step with item activation, and reads one due cyclic block per pass, serving the
// PLCs in turn. By default each serial line has a worker of its own (LineWorker), so that the
// lines' transactions overlap while the PLCs of one line take turns; with oneThreadPerLine off
// a single worker serves every PLC on every port.
#pragma once

#include <atomic>
#include <cstdint>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "server/polling/line_worker.h"

class HostLinkChannel;
class MainWindowLink;
class MessageCatalog;
class MessageRing;
class PlcList;
class SOCmnEvent;

class PollingThread {
public:
    struct Options {
        PlcList* plcs = nullptr;             // default: the server's PLC list
        HostLinkChannel* channel = nullptr;  // default: HostLinkChannel::instance()
        MessageRing* ring = nullptr;         // default: the server's messageRing
        MessageCatalog* catalog = nullptr;   // default: MessageCatalog::instance()
        // Where Vorlask.dat is read and Log.err written; default: the executable's folder (Log.err
        // in /var/log/vorlask when that folder is not writable).
        std::filesystem::path dataFolder;
        bool useDataFolder = false;
        // One worker per serial line (the default), or one for every PLC.
        bool oneThreadPerLine = true;
        // Each answering PLC's status (MS) every so often; 0 never.
        std::chrono::milliseconds statusInterval{10000};
    };

    explicit PollingThread(MainWindowLink* window);
    PollingThread(MainWindowLink* window, Options options);
    // Stops the thread (stopEvent, then join) if it still runs.
    ~PollingThread();
    PollingThread(const PollingThread&) = delete;
    PollingThread& operator=(const PollingThread&) = delete;

    // Starts the thread (and the workers). With no PLC configured it tells the window and
    // ends at once.
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

    // Passes run so far by every worker together (for tests and benchmarks).
    std::uint64_t passes() const;

private:
    int run();
    void makeWorkers();

    MainWindowLink* window_;
    Options options_;
    PollingShared shared_;
    std::vector<std::unique_ptr<HostLinkChannel>> lineChannels_;
    std::vector<std::unique_ptr<LineWorker>> workers_; // made by start(), never changed after
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<SOCmnEvent*> stopEvent_{nullptr};
    std::atomic<int> exitCode_{0};
};
