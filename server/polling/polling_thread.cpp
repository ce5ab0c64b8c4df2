#include "server/polling/polling_thread.h"

#include <algorithm>
#include <string>
#include <utility>

#include "server/polling/error_log.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/polling/message_catalog.h"
#include "server/polling/message_ring.h"
#include "server/polling/plc_list.h"
#include "server/polling/main_window_link.h"
#include "server/toolkit/event_pool.h"

PollingThread::PollingThread(MainWindowLink* window) : PollingThread(window, Options{}) {}

PollingThread::PollingThread(MainWindowLink* window, Options options)
    : window_(window), options_(std::move(options)) {
    if (options_.plcs == nullptr)
        options_.plcs = &createPlcList();
    if (options_.channel == nullptr)
        options_.channel = &HostLinkChannel::create();
    if (options_.ring == nullptr)
        options_.ring = &messageRing;
    if (options_.catalog == nullptr)
        options_.catalog = &MessageCatalog::instance();
    if (!options_.useDataFolder)
        options_.dataFolder = moduleDirectory();
}

PollingThread::~PollingThread() { stop(); }

void PollingThread::start() {
    if (thread_.joinable())
        return;
    // Taken before the thread runs, so that a stop right after start is never missed.
    if (stopEvent_.load() == nullptr)
        stopEvent_ = getEventPool()->popEvent();
    if (workers_.empty() && !options_.plcs->empty())
        makeWorkers();
    running_ = true;
    thread_ = std::thread([this] {
        exitCode_ = run();
        running_ = false;
    });
}

void PollingThread::stop() {
    if (SOCmnEvent* event = stopEvent_.load())
        event->set();
    join();
    if (SOCmnEvent* event = stopEvent_.exchange(nullptr))
        getEventPool()->pushEvent(event);
}

void PollingThread::join() {
    if (thread_.joinable())
        thread_.join();
}

void PollingThread::makeWorkers() {
    PlcList& plcs = *options_.plcs;
    shared_.window = window_;
    shared_.ring = options_.ring;
    shared_.catalog = options_.catalog;
    // Log.err beside the executable, or where a service may write; a test's own folder as is.
    shared_.logFolder = options_.useDataFolder ? options_.dataFolder : logFolderFor(options_.dataFolder);
    shared_.list = &plcs;
    shared_.plcs = plcs.plcs();
    shared_.statusInterval = options_.statusInterval;
    if (!options_.oneThreadPerLine) {
        workers_.push_back(std::make_unique<LineWorker>(shared_, shared_.plcs, *options_.channel));
        return;
    }
    // The lines in the order their first PLC comes, each with its PLCs in configuration order.
    std::vector<std::pair<std::string, std::vector<Plc*>>> lines;
    for (Plc* plc : shared_.plcs) {
        auto line = std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.first == plc->portName(); });
        if (line == lines.end())
            lines.push_back({plc->portName(), {plc}});
        else
            line->second.push_back(plc);
    }
    for (auto& [port, served] : lines) {
        lineChannels_.push_back(options_.channel->lineChannel());
        workers_.push_back(std::make_unique<LineWorker>(shared_, std::move(served), *lineChannels_.back()));
    }
}

std::uint64_t PollingThread::passes() const {
    std::uint64_t total = 0;
    for (const auto& worker : workers_)
        total += worker->passes();
    return total;
}

int PollingThread::run() {
    PlcList& plcs = *options_.plcs;
    if (plcs.empty()) {
        if (window_ != nullptr)
            window_->noPlcConfigured();
        return 0;
    }
    // The route table: every PLC's unit number and port, by its position (1, 2, ...) as its
    // PLC number. Each worker installs it on its channel, and rebuilds it there alone after a
    // failure on its line.
    std::uint16_t number = 0;
    shared_.routes.clear();
    for (Plc* plc : shared_.plcs) {
        shared_.routes.push_back(PlcRoute::make(plc->unitNumber(), plc->portName()));
        plc->setPlcNumber(++number);
    }
    options_.catalog->load(options_.dataFolder / "Vorlask.dat");
    SOCmnEvent& stop = *stopEvent_.load();
    if (!options_.oneThreadPerLine) {
        workers_.front()->run(stop);
    } else {
        options_.channel->setRoutes(shared_.routes);
        std::vector<std::thread> threads;
        for (auto& worker : workers_)
            threads.emplace_back([&worker, &stop] { worker->run(stop); });
        for (std::thread& t : threads)
            t.join();
        options_.channel->clearRoutes();
    }
    return 0;
}
