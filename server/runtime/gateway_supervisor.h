// Runs a gateway program (vorlask-opcua, vorlask-mqtt) as a child of the server: started once the door
// listens, started again with back-off when it dies, stopped at shutdown.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class GatewaySupervisor {
public:
    using Log = std::function<void(const std::string&)>;

    // program and its arguments; log gets a line for every start, end and failure.
    GatewaySupervisor(std::string program, std::vector<std::string> args, Log log);
    ~GatewaySupervisor();
    GatewaySupervisor(const GatewaySupervisor&) = delete;
    GatewaySupervisor& operator=(const GatewaySupervisor&) = delete;

    void start();
    // SIGTERM to the child, SIGKILL after grace; returns once it has ended.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000));

    // The wait before the next start after a child that ran for ranFor, given the last wait.
    static std::chrono::milliseconds nextBackoff(std::chrono::milliseconds last, std::chrono::milliseconds ranFor);

private:
    void run();
    pid_t spawn(std::string* error);

    std::string program_;
    std::vector<std::string> args_;
    Log log_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool stopping_ = false; // under mutex_
    pid_t pid_ = 0;         // under mutex_
    std::thread thread_;
};
