// Running the real executables from the build: spawn with extra environment, capture output
// in files, wait with a deadline, send signals.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

std::filesystem::path binDir();
std::filesystem::path sourceDir();

struct RunResult {
    int exitCode = -1; // -1: did not end in time (then killed)
    std::string out;
    std::string err;
};

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                 const std::filesystem::path& outputFolder);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit code once ended within the time; nullopt while still running.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    bool running();
    void signal(int sig);
    std::string out() const;
    std::string err() const;
    int pid() const { return pid_; }

private:
    int pid_ = -1;
    std::optional<int> status_;
    std::filesystem::path outFile_, errFile_;
};

RunResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                     const std::filesystem::path& outputFolder,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));

// Waits until something listens on the socket path (the probe is a short client of its own).
bool waitForSocket(const std::string& path, std::chrono::milliseconds timeout);
// Waits until the socket file exists, without connecting.
bool waitForSocketFile(const std::string& path, std::chrono::milliseconds timeout);
