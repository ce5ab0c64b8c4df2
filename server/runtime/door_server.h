// The local door: a Unix-domain stream socket speaking newline-delimited JSON. Every
// connection is served on its own thread by its own session; a malformed or oversized line is
// answered with an error and the connection stays usable; a client that goes away is cleaned
// up exactly like one that said "close".
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class DoorConnection;

// What one connection does with its requests. Lives as long as the connection.
class DoorSession {
public:
    virtual ~DoorSession() = default;
    // A request object; returns the reply without "id" (the door copies the request's "id").
    // Setting *closeAfter ends the connection once the reply is out.
    virtual nlohmann::json handle(const nlohmann::json& request, bool* closeAfter) = 0;
    // The connection has ended (close, EOF, error or server stop). Called once, last.
    virtual void ended() = 0;
};

// The sending half of a connection, safe to use from any thread (data-change events come from
// the toolkit's threads while the connection's own thread answers requests).
class DoorConnection {
public:
    explicit DoorConnection(int fd) : fd_(fd) {}
    ~DoorConnection();
    DoorConnection(const DoorConnection&) = delete;
    DoorConnection& operator=(const DoorConnection&) = delete;
    // False once the connection is broken; the reader then ends it.
    bool send(const nlohmann::json& message);
    void shutdownSocket();
    int fd() const { return fd_; }

private:
    std::mutex sendMutex_;
    int fd_;
    std::atomic<bool> broken_{false};
};

class DoorServer {
public:
    using SessionFactory = std::function<std::unique_ptr<DoorSession>(std::shared_ptr<DoorConnection>)>;

    static constexpr std::size_t kMaxLine = 1 << 20;

    explicit DoorServer(SessionFactory factory);
    ~DoorServer();
    DoorServer(const DoorServer&) = delete;
    DoorServer& operator=(const DoorServer&) = delete;

    // Prepares the folder (0700), binds the socket (0600) and starts accepting.
    bool start(const std::string& path, std::string* error);
    // Stops accepting, ends every connection (each session's ended() runs), removes the socket.
    void stop();

    const std::string& path() const { return path_; }
    std::size_t connectionCount() const;

    // The error reply the door gives for a line it cannot take as a request.
    static nlohmann::json errorReply(const nlohmann::json& id, const std::string& text);

private:
    struct Client;

    void acceptLoop();
    void serve(const std::shared_ptr<Client>& client);
    void reapFinished();

    SessionFactory factory_;
    std::string path_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
    mutable std::mutex clientsMutex_;
    std::list<std::shared_ptr<Client>> clients_;
};
