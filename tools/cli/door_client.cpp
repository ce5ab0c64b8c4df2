#include "tools/cli/door_client.h"

#include "server/door_base/door_socket_path.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

DoorClient::~DoorClient()
{
    close();
}

bool DoorClient::connectTo(const std::string& path, std::string* error)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path)) {
        if (error)
            *error = "socket path too long: " + path;
        return false;
    }
    if (const std::string why = untrustedDoorFolder(std::filesystem::path(path).parent_path().string());
        !why.empty()) {
        if (error)
            *error = "not connecting to " + path + ": " + why;
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        if (error)
            *error = "cannot reach the server at " + path + ": " + std::strerror(errno);
        close();
        return false;
    }
    return true;
}

void DoorClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool DoorClient::sendLine(const std::string& line)
{
    std::string data = line + "\n";
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

DoorClient::Wait DoorClient::readLine(int timeoutMs, std::string& line)
{
    for (;;) {
        if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return Wait::Event;
        }
        if (fd_ < 0)
            return Wait::Closed;
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            return Wait::Timeout; // lets the caller look at its signal flag
        if (r == 0)
            return Wait::Timeout;
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            return Wait::Timeout;
        if (n <= 0) {
            close();
            return Wait::Closed;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

std::optional<nlohmann::json> DoorClient::call(nlohmann::json request)
{
    if (fd_ < 0)
        return std::nullopt;
    const long long id = nextId_++;
    request["id"] = id;
    if (!sendLine(request.dump()))
        return std::nullopt;
    std::string line;
    for (;;) {
        const Wait w = readLine(-1, line);
        if (w == Wait::Closed)
            return std::nullopt;
        if (w == Wait::Timeout)
            continue;
        auto msg = nlohmann::json::parse(line, nullptr, false);
        if (msg.is_discarded() || !msg.is_object())
            continue;
        if (msg.contains("event")) {
            events_.push_back(std::move(msg));
            continue;
        }
        if (msg.contains("id") && msg["id"] == id)
            return msg;
    }
}

DoorClient::Wait DoorClient::nextEvent(int timeoutMs, nlohmann::json& event)
{
    if (!events_.empty()) {
        event = std::move(events_.front());
        events_.pop_front();
        return Wait::Event;
    }
    std::string line;
    for (;;) {
        const Wait w = readLine(timeoutMs, line);
        if (w != Wait::Event)
            return w;
        auto msg = nlohmann::json::parse(line, nullptr, false);
        if (!msg.is_discarded() && msg.is_object() && msg.contains("event")) {
            event = std::move(msg);
            return Wait::Event;
        }
    }
}
