// The local door: a Unix-domain stream socket speaking newline-delimited JSON. Every
// connection is served on its own thread by its own session; a malformed or oversized line is
// answered with an error and the connection stays usable; a client that goes away is cleaned
// up exactly like one that said "close".
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <string_view>
#include <thread>

class DoorConnection;

// What one connection does with its requests. Lives as long as the connection.
class DoorSession {
public:
    virtual ~DoorSession() = default;
    // A request object; returns the reply without "id" (the door copies the request's "id").
    // Setting *closeAfter ends the connection once the reply is out.
    virtual nlohmann::json handle(const nlohmann::json& request, bool* closeAfter) = 0;
    // Whether a request with an "id" may be answered on a thread of its own, beside the
    // requests that follow it (one that waits for a device). handle() must then be safe to
    // call from several threads at once.
    virtual bool runsApart(const nlohmann::json& /*request*/) const { return false; }
    // The connection has ended (close, EOF, error or server stop). Called once, last.
    virtual void ended() = 0;
};

// The sending half of a connection, safe to use from any thread (data-change events come from
// the toolkit's threads while the connection's own thread answers requests). send() only
// queues: the connection's writer thread alone writes to the socket, so a client that reads
// slowly never holds the thread that produced the message. A client whose queue grows past
// kMaxQueuedBytes, or that takes nothing for kStallLimit, is dropped.
class DoorConnection {
public:
    static constexpr std::size_t kMaxQueuedBytes = 16u << 20;
    static constexpr std::chrono::milliseconds kStallLimit{2000};

    explicit DoorConnection(int fd);
    ~DoorConnection();
    DoorConnection(const DoorConnection&) = delete;
    DoorConnection& operator=(const DoorConnection&) = delete;
    // False once the connection is broken; the reader then ends it.
    bool send(const nlohmann::json& message);
    // The same for a message already serialised: one line of JSON ending in a newline.
    bool sendLine(std::string line);
    // Lets the writer send what is queued (bounded by the stall limit), then ends the socket.
    void finish();
    // Ends the socket at once; queued messages are dropped.
    void shutdownSocket();
    bool broken() const { return broken_; }
    int fd() const { return fd_; }

private:
    void writerLoop();
    void breakOff();

    int fd_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::string> queue_; // under mutex_
    std::size_t queuedBytes_ = 0;   // under mutex_
    bool finishing_ = false;        // under mutex_
    std::atomic<bool> broken_{false};
    std::thread writer_;
};

class DoorServer {
public:
    using SessionFactory = std::function<std::unique_ptr<DoorSession>(std::shared_ptr<DoorConnection>)>;

    static constexpr std::size_t kMaxLine = 1 << 20;
    // Requests nest no deeper than this; deeper ones are refused before they are parsed.
    static constexpr int kMaxDepth = 32;
    static constexpr std::size_t kDefaultMaxClients = 256;
    // Requests of one connection answered apart at once; the next one waits for a free place.
    static constexpr std::size_t kMaxApart = 16;

    explicit DoorServer(SessionFactory factory);
    ~DoorServer();
    DoorServer(const DoorServer&) = delete;
    DoorServer& operator=(const DoorServer&) = delete;

    // Prepares the folder (0700 when it is made), binds the socket and starts accepting. The
    // socket is 0600, or 0660 when the folder lets its group in (a service's folder shared
    // with the group of its clients).
    bool start(const std::string& path, std::string* error);
    // Starts accepting on a socket that is already listening (handed over by socket
    // activation); the socket file stays when the door stops, its owner's as it was.
    bool adopt(int listeningFd, std::string* error);
    // Stops accepting, ends every connection (each session's ended() runs), removes the socket
    // file it made.
    void stop();

    // Connections beyond this many are refused with an error line (default 256).
    void setMaxClients(std::size_t n) { maxClients_ = n == 0 ? 1 : n; }

    const std::string& path() const { return path_; }
    std::size_t connectionCount() const;

    // The error reply the door gives for a line it cannot take as a request.
    static nlohmann::json errorReply(const nlohmann::json& id, const std::string& text);
    // The reply to one request line (without its newline): an error for a line that is not a
    // request, else the session's answer with the request's "id".
    static nlohmann::json answerLine(DoorSession& session, const std::string& line, bool* closeAfter);
    // The checked request of a line, or false with *error the reply for a line that is none.
    static bool parseRequest(const std::string& line, nlohmann::json* request, nlohmann::json* error);
    // The session's answer to a checked request, with the request's "id".
    static nlohmann::json answerRequest(DoorSession& session, const nlohmann::json& request, bool* closeAfter);
    // Whether the JSON text nests arrays and objects deeper than limit (strings are skipped).
    static bool nestsDeeperThan(std::string_view text, int limit);
    // The "id" of a request that cannot be parsed whole (too long, malformed further on), read
    // from the first few kilobytes of its line; null when none is found there. The reply
    // then still settles the client's request.
    static nlohmann::json leadingId(std::string_view line);

private:
    struct Client;

    void acceptLoop();
    void serve(const std::shared_ptr<Client>& client);
    void reapFinished();
    void refuse(int fd, const std::string& text);
    bool startAccepting(std::string* error);
    // Whether the connected peer may use the door: this user, root, or a member of the door's
    // group when the socket is open to one.
    bool peerAllowed(int fd) const;

    SessionFactory factory_;
    std::string path_;
    int listenFd_ = -1;
    bool ownsSocketFile_ = true;
    gid_t doorGroup_ = static_cast<gid_t>(-1); // the group the socket is open to, if any
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> maxClients_{kDefaultMaxClients};
    std::thread acceptThread_;
    mutable std::mutex clientsMutex_;
    std::list<std::shared_ptr<Client>> clients_;
};
