// The real server on a configuration of its own, with a private registry and door socket,
// a client that keeps chosen items polled, and what tests ask of it: the message lines of a
// PLC, items read through vorlask-cli, waiting with a deadline.
#pragma once

#include "tests/e2e/app_process.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ServerWorld {
public:
    explicit ServerWorld(const std::string& name);
    ~ServerWorld();

    const std::filesystem::path& dir() const { return dir_; }
    const std::map<std::string, std::string>& env() const { return env_; }
    const std::string& socket() const { return socket_; }

    // A PLC element with one READWRITE VT_I2 tag D at DM100; line holds its attributes.
    static std::string plc(const std::string& name, int unit, const std::string& com, const std::string& line);
    static const char* const k9600; // baudrate 9600, 7 data bits, EVEN, 2 stop bits

    // A program of the test's with its output in a folder of that name.
    std::unique_ptr<ChildProcess> helper(const std::string& name, const std::vector<std::string>& argv) const;
    // The server on plcs (PLC elements), ports (COM name -> target) and further registry
    // values, with a vorlask-cli watch that keeps the items polled.
    void start(const std::string& plcs, const std::map<std::string, std::string>& ports,
               const std::vector<std::string>& watched, const std::map<std::string, std::string>& values = {});
    ChildProcess& server() { return *server_; }

    // Message lines of one PLC so far (the headless server's standard error).
    std::vector<std::string> lines(const std::string& plc) const;
    // vorlask-cli with arguments (after --socket).
    RunResult cli(const std::vector<std::string>& args) const;
    // Item -> "value quality" as vorlask-cli reads it.
    std::map<std::string, std::string> read(const std::vector<std::string>& items) const;
    bool shows(const std::map<std::string, std::string>& wanted) const;
    bool bad(const std::string& item) const;

    static bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(30));

private:
    std::filesystem::path dir_;
    std::string socket_;
    std::map<std::string, std::string> env_;
    std::unique_ptr<ChildProcess> server_, watch_;
};
