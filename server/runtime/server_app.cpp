#include "server/runtime/server_app.h"

#include "server/config/config_loader.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/polling/plc_list.h"
#include "server/polling/polling_thread.h"
#include "server/door/door_server.h"
#include "server/door/door_session.h"
#include "server/runtime/gateway_supervisor.h"
#include "server/polling/main_window_link.h"
#include "server/tags/requests.h"
#include "server/tags/server_classes.h"
#include "server/runtime/server_event_handler.h"
#include "server/runtime/server_identity.h"
#include "server/runtime/server_texts.h"
#include "server/toolkit/entry.h"
#include "server/toolkit/event_pool.h"
#include "server/toolkit/trace.h"

#include <iostream>

ServerApp::ServerApp(const CommandLine& commandLine, MainWindowLink* window, Options options)
    : commandLine_(commandLine), window_(window), options_(std::move(options))
{
}

ServerApp::~ServerApp()
{
    if (door_)
        door_->stop();
}

void ServerApp::giveIdentity()
{
    auto entry = getSODaSEntry();
    entry->setCreator(makeObject<ServerCreator>());
    // The module instance has no counterpart here; the toolkit keeps whatever it is given.
    entry->initialize(kAppTypeOutOfProcess, kServerClassId, nullptr, 0);
    entry->setServerSettings(1, 3, 1, 3);
    entry->setRegisterInfo(kProgId, kIndependentProgId, kServerDescription);
    entry->setVendorInfo(kVendorInfo);
    entry->setVersionInfo(1, 10, 100, 3);
}

bool ServerApp::registerServer()
{
    auto entry = getSODaSEntry();
    const bool server = entry->registerServer();
    const bool categories = entry->registerCategories();
    return server && categories;
}

bool ServerApp::unregisterServer()
{
    auto entry = getSODaSEntry();
    const bool categories = entry->unregisterCategories();
    const bool server = entry->unregisterServer();
    return server && categories;
}

void ServerApp::installEventHandler()
{
    // The entry keeps its own reference; ours goes when the handle leaves scope.
    auto handler = makeObject<ServerEventHandler>(commandLine_.startedByCom, window_);
    getSODaSEntry()->setEventHandler(handler);
}

void ServerApp::findAndLoadConfiguration()
{
    auto entry = getSODaSEntry();
    auto root = entry->getNameSpaceRoot(0);
    std::string accepted, bad;
    root->getTreeDelimiter(&accepted, &bad);
    bad.clear();
    root->setTreeDelimiter('.', accepted, bad);

    choice_ = discoverConfiguration(options_.discovery);
    if (choice_.missingBox) {
        if (window_)
            window_->messageBox(kMissingConfigText, kMissingConfigCaption);
        return;
    }
    loadConfiguration(choice_.path, root.get(), window_);
}

bool ServerApp::start(std::string* error)
{
    auto entry = getSODaSEntry();
    entry->setCheckParameter(commandLine_.testToolMode ? 1000 : 50);

    createPlcList();
    HostLinkChannel::create();
    createRequestQueues();

    findAndLoadConfiguration();

    // requestLock is a process-wide lock that exists before anything can use it.

    // Started whether or not a PLC was configured: an empty list is reported by the thread.
    PollingThread::Options polling;
    polling.oneThreadPerLine = options_.oneThreadPerLine;
    polling.statusInterval = options_.statusInterval;
    polling_ = std::make_unique<PollingThread>(window_, polling);
    polling_->start();

    if (!entry->start()) {
        getSOCmnTrace()->trace(kTraceLevelError, kTraceGroupUser1, "Vorlask", kStartFailedTrace);
        if (error)
            *error = kStartFailedTrace;
        return false;
    }
    started_ = true;

    if (!options_.socketPath.empty() || options_.activatedDoorFd >= 0) {
        door_ = std::make_unique<DoorServer>(
            [](std::shared_ptr<DoorConnection> c) { return DoorClientSession::open(std::move(c)); });
        door_->setMaxClients(options_.maxClients);
        std::string why;
        const bool listening = options_.activatedDoorFd >= 0 ? door_->adopt(options_.activatedDoorFd, &why)
                                                             : door_->start(options_.socketPath, &why);
        if (!listening) {
            door_.reset();
            if (error)
                *error = "the local door cannot open: " + why;
            return false;
        }
        for (const auto& command : options_.gateways) {
            std::vector<std::string> args{"--socket", door_->path()};
            args.insert(args.end(), command.begin() + 1, command.end());
            gateways_.push_back(std::make_unique<GatewaySupervisor>(
                command.front(), std::move(args),
                [](const std::string& line) { std::cerr << "vorlask: " << line << std::endl; }));
            gateways_.back()->start();
        }
    }
    return true;
}

void ServerApp::shutdown()
{
    // The gateways first: they are clients of the door that would otherwise be waited for.
    for (auto& gateway : gateways_)
        gateway->stop();
    gateways_.clear();
    auto entry = getSODaSEntry();
    auto pool = getEventPool();
    SOCmnEvent* wait = pool->popEvent();
    shutdownWaitEvent.begin(wait);

    std::chrono::milliseconds waitTime{0};
    {
        auto root = entry->getObjectRoot();
        const auto clients = root ? root->getBranchList() : std::vector<SOCmnPointer<SODaSServer>>{};
        askedClients_ = !clients.empty();
        if (askedClients_) {
            entry->shutdownAllClients(kShutdownReason);
            waitTime = options_.clientWait;
        }
    }
    const auto began = std::chrono::steady_clock::now();
    if (waitTime.count() > 0)
        wait->waitFor(waitTime);
    lastWait_ = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
    pool->pushEvent(shutdownWaitEvent.end());

    // Clients that stayed are cut off with the door; the toolkit drops what is left at terminate.
    if (door_) {
        door_->stop();
        door_.reset();
    }

    if (polling_) {
        if (polling_->stopEvent())
            polling_->stop();
        else
            polling_->join(); // it ended at once for want of a PLC
        polling_.reset();
    }

    destroyPlcList();
    destroyRequestQueues();
}

void ServerApp::terminate()
{
    getSODaSEntry()->terminate();
    HostLinkChannel::destroy();
}
