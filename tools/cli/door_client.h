// A client connection to the server's local door: one JSON request or event per line.
#pragma once

#include <nlohmann/json.hpp>

#include <deque>
#include <optional>
#include <string>

class DoorClient {
public:
    DoorClient() = default;
    ~DoorClient();
    DoorClient(const DoorClient&) = delete;
    DoorClient& operator=(const DoorClient&) = delete;

    bool connectTo(const std::string& path, std::string* error);
    void close();

    // Sends the request with a fresh "id" and returns the reply with that id; events that
    // arrive meanwhile are kept for nextEvent. nullopt when the connection broke.
    std::optional<nlohmann::json> call(nlohmann::json request);

    enum class Wait { Event, Timeout, Closed };
    // Waits up to timeoutMs for the next event line.
    Wait nextEvent(int timeoutMs, nlohmann::json& event);

private:
    bool sendLine(const std::string& line);
    // One line from the socket, waiting up to timeoutMs (-1 without limit).
    Wait readLine(int timeoutMs, std::string& line);

    int fd_ = -1;
    long long nextId_ = 1;
    std::string buffer_;
    std::deque<nlohmann::json> events_;
};
