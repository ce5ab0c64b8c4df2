#include "tests/e2e/polling_scenario.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "server/polling/error_log.h"
#include "server/hostlink/port_names.h"
#include "server/hostlink/serial_port_posix.h"
#include "server/tags/requests.h"
#include "server/tags/server_classes.h"
#include "server/toolkit/entry.h"

namespace fs = std::filesystem;

namespace {
std::atomic<int> gScenarioCount{0};
}

const char* sourceDir() {
    const char* source = std::getenv("VORLASK_SOURCE");
    return source != nullptr ? source : VORLASK_SOURCE_DIR;
}

PollingScenario::PollingScenario(int replyTimeoutMs)
    : replyTimeoutMs_(replyTimeoutMs),
      oneThreadPerLine_(std::getenv("VORLASK_LINE_THREADS") == nullptr ||
                        std::string(std::getenv("VORLASK_LINE_THREADS")) != "0") {
    folder_ = fs::temp_directory_path() /
              ("vorlask-polling-" + std::to_string(::getpid()) + "-" +
               std::to_string(gScenarioCount++));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::copy_file(fs::path(sourceDir()) / "server/data/Vorlask.dat", folder_ / "Vorlask.dat");

    SOCmnPointer<SODaSEntry> entry = getSODaSEntry();
    entry->initialize(kAppTypeOutOfProcess, "{polling-scenario}", nullptr, 0);
    entry->setCreator(makeObject<ServerCreator>());
    entry->getNameSpaceRoot()->setTreeDelimiter('.', ".", "");
    createRequestQueues();

    channel_ = std::make_unique<HostLinkChannel>(
        [this](std::string_view portName, const SerialSettings& settings) -> std::unique_ptr<Line> {
            if (auto t = targets_.find(std::string(portName)); t != targets_.end())
                return makeTargetLine(t->second, settings);
            auto it = lines_.find(std::string(portName));
            const std::string device = it == lines_.end() ? "/nonexistent" : it->second->slavePath();
            return std::make_unique<PosixSerialLine>(device, settings);
        });
    plcs_ = std::make_unique<PlcList>();
}

PollingScenario::~PollingScenario() {
    stopThread();
    if (client_)
        client_->disconnect();
    client_.reset();
    plcs_.reset();
    getSODaSEntry()->terminate();
    destroyRequestQueues();
    channel_.reset();
    for (auto& [name, sim] : lines_)
        sim->stop();
    logToFile = false;
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

PlcSimulator& PollingScenario::addLine(const std::string& portName,
                                       std::vector<std::uint8_t> units, std::uint32_t baud,
                                       const std::function<std::string(const std::string&)>& via) {
    PlcSimulator::Options options;
    options.units = std::move(units);
    options.baud = baud;
    auto sim = std::make_unique<PlcSimulator>(options);
    std::string error;
    if (!sim->start(&error))
        throw std::runtime_error("simulator: " + error);
    PlcSimulator& ref = *sim;
    lines_[portName] = std::move(sim);
    if (via)
        targets_[portName] = via(ref.slavePath());
    channel_->addPort(portName, baud == 0 ? 9600 : baud, "EVEN", 2, 7);
    if (SerialPort* port = channel_->findPort(portName)) {
        CommTimeouts t;
        t.readTotalTimeoutConstant = replyTimeoutMs_;
        port->setTimeouts(t);
    }
    return ref;
}

Plc& PollingScenario::addPlc(const std::string& name, std::uint8_t unit,
                             const std::string& portName) {
    SOCmnPointer<Plc> plc = makeObject<Plc>(name, unit, portName);
    Plc& ref = *plc;
    plcs_->add(unit, plc);
    SOCmnPointer<SODaSNameSpaceRoot> root = getSODaSEntry()->getNameSpaceRoot();
    if (!root->findBranch(name))
        root->addBranch(makeObject<ServerBranch>(name));
    return ref;
}

PlcTag& PollingScenario::addTag(Plc& plc, const std::string& name, std::uint16_t vartype,
                                MemoryArea area, std::uint16_t address, std::uint16_t bit,
                                std::uint16_t elements, bool bcd) {
    SOCmnPointer<PlcTag> tag = makeObject<PlcTag>(name, std::uint8_t(3), bcd, vartype, "",
                                                  address, area, bit, elements, &plc);
    getSODaSEntry()->getNameSpaceRoot()->findBranch(plc.name())->addLeaf(tag);
    return *tag;
}

void PollingScenario::start() {
    PollingThread::Options options;
    options.plcs = plcs_.get();
    options.channel = channel_.get();
    options.ring = &ring_;
    options.catalog = &catalog_;
    options.dataFolder = folder_;
    options.useDataFolder = true;
    options.oneThreadPerLine = oneThreadPerLine_;
    options.statusInterval = statusInterval_;
    thread_ = std::make_unique<PollingThread>(&window_, options);
    getSODaSEntry()->start();
    thread_->start();
    client_ = DaClient::connect("polling-scenario");
    if (!client_)
        throw std::runtime_error("client did not connect");
}

void PollingScenario::stopThread() {
    if (thread_)
        thread_->stop();
}

GroupHandle PollingScenario::addGroup(std::uint32_t updateRate, bool active) {
    GroupHandle group = 0;
    client_->addGroup("", active, updateRate, {}, &group);
    return group;
}

ItemHandle PollingScenario::addItem(GroupHandle group, const std::string& itemId, bool active) {
    return addItems(group, {itemId}, active).front();
}

std::vector<ItemHandle> PollingScenario::addItems(GroupHandle group,
                                                  const std::vector<std::string>& itemIds,
                                                  bool active) {
    std::vector<ItemDefinition> defs;
    for (const std::string& id : itemIds)
        defs.push_back({id, active, 0});
    std::vector<ItemHandle> handles;
    for (const AddItemResult& r : client_->addItems(group, defs))
        handles.push_back(r.item);
    return handles;
}

std::vector<std::string> PollingScenario::blockLabels(const Plc& plc) const {
    std::lock_guard lock(requestLock);
    std::vector<std::string> labels;
    for (const auto& block : plc.cyclicBlocks())
        labels.push_back(block->label());
    return labels;
}

std::vector<std::uint32_t> PollingScenario::blockRates(const Plc& plc) const {
    std::lock_guard lock(requestLock);
    std::vector<std::uint32_t> rates;
    for (const auto& block : plc.cyclicBlocks())
        rates.push_back(block->updateRate());
    return rates;
}

bool PollingScenario::waitUntil(const std::function<bool()>& condition,
                                std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

bool PollingScenario::waitForBlocks(const Plc& plc, std::size_t count,
                                    std::chrono::milliseconds timeout) const {
    return waitUntil(
        [&] {
            if (activationQueueLength() != 0)
                return false;
            std::lock_guard lock(requestLock);
            return plc.cyclicBlocks().size() == count && !plc.needsRecompute();
        },
        timeout);
}

std::uint16_t PollingScenario::quality(const PlcTag& tag) const {
    SOCmnPointer<SODaSCache> cache = tag.getCache();
    return cache ? cache->getQuality() : 0xFFFF;
}

std::string PollingScenario::logText() const {
    std::ifstream in(folder_ / "Log.err", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int PollingScenario::logLines() const {
    const std::string text = logText();
    int lines = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        lines += text[i] == '\r' && text[i + 1] == '\n';
    return lines;
}
