// The server's life from identity to teardown: what the process entry runs, in its order,
// with the window (or its headless stand-in) given from outside so tests can drive it.
#pragma once

#include "server/runtime/command_line.h"
#include "server/runtime/config_discovery.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class DoorServer;
class GatewaySupervisor;
class MainWindowLink;
class PollingThread;

class ServerApp {
public:
    struct Options {
        // Where the configuration comes from (default: the running system).
        DiscoverySources discovery = systemDiscoverySources();
        // The door's socket; empty: no door (tests that use the toolkit's client side directly).
        std::string socketPath;
        std::size_t maxClients = 256;
        // A listening door socket handed over by socket activation (-1: none; the door then
        // listens on socketPath itself).
        int activatedDoorFd = -1;
        // The gateways to run on the door, each a program with its arguments (the door's
        // --socket is put before them).
        std::vector<std::vector<std::string>> gateways;
        // One polling worker per serial line, or (registry value LineThreads "0") one thread
        // for every PLC.
        bool oneThreadPerLine = true;
        // Registry value StatusPollMs: each answering PLC's status every so often; 0 never.
        std::chrono::milliseconds statusInterval{10000};
        // How long shutdown waits for clients to leave.
        std::chrono::milliseconds clientWait{10000};
    };

    ServerApp(const CommandLine& commandLine, MainWindowLink* window, Options options);
    ~ServerApp();
    ServerApp(const ServerApp&) = delete;
    ServerApp& operator=(const ServerApp&) = delete;

    // Entry step 4: creator, application type and class identifier, settings, registration
    // information, vendor text and the entry's version values.
    void giveIdentity();
    // Writes (or removes) the registration and the OPC categories; the process then exits 0.
    bool registerServer();
    bool unregisterServer();
    // Entry step 6.
    void installEventHandler();
    // The start sequence, then the door. False when the toolkit (or the door) did not start;
    // *error says why.
    bool start(std::string* error = nullptr);
    // Ask the clients to leave (at most clientWait), stop the door, stop and join the polling
    // thread, destroy the PLC list and the queues.
    void shutdown();
    // Entry step 10.
    void terminate();

    // What discovery chose (for tests and the log).
    const ConfigChoice& configChoice() const { return choice_; }
    PollingThread* pollingThread() const { return polling_.get(); }
    DoorServer* door() const { return door_.get(); }
    // Whether the last shutdown asked clients to leave and how long it waited.
    bool askedClients() const { return askedClients_; }
    std::chrono::milliseconds lastClientWait() const { return lastWait_; }

private:
    void findAndLoadConfiguration();

    CommandLine commandLine_;
    MainWindowLink* window_;
    Options options_;
    ConfigChoice choice_;
    std::unique_ptr<PollingThread> polling_;
    std::unique_ptr<DoorServer> door_;
    std::vector<std::unique_ptr<GatewaySupervisor>> gateways_;
    bool started_ = false;
    bool askedClients_ = false;
    std::chrono::milliseconds lastWait_{0};
};
