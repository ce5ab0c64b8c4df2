#include "server/door/door_server.h"

#include "server/door_base/door_socket_path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// How long the accept loop rests when the process has no descriptor left for a new client.
constexpr int kOutOfDescriptorsPauseMs = 200;

} // namespace

struct DoorServer::Client {
    std::shared_ptr<DoorConnection> connection;
    std::thread thread;
    std::atomic<bool> finished{false};
};

DoorConnection::DoorConnection(int fd) : fd_(fd)
{
    writer_ = std::thread([this] { writerLoop(); });
}

DoorConnection::~DoorConnection()
{
    breakOff();
    if (writer_.joinable())
        writer_.join();
    // Closed only here, so that no other thread can shut down a reused descriptor number.
    ::close(fd_);
}

bool DoorConnection::send(const nlohmann::json& message)
{
    if (broken_)
        return false;
    // Replacement of invalid UTF-8 keeps one bad string from breaking the whole line.
    return sendLine(message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

bool DoorConnection::sendLine(std::string line)
{
    if (broken_)
        return false;
    bool overflow = false;
    {
        std::lock_guard lock(mutex_);
        if (finishing_)
            return false;
        // One message always fits an empty queue, however large (a browse of a big namespace).
        if (!queue_.empty() && queuedBytes_ + line.size() > kMaxQueuedBytes) {
            overflow = true;
        } else {
            queuedBytes_ += line.size();
            queue_.push_back(std::move(line));
        }
    }
    if (overflow) {
        breakOff();
        return false;
    }
    cv_.notify_one();
    return true;
}

void DoorConnection::breakOff()
{
    {
        std::lock_guard lock(mutex_);
        broken_ = true;
        queue_.clear();
        queuedBytes_ = 0;
    }
    ::shutdown(fd_, SHUT_RDWR);
    cv_.notify_all();
}

void DoorConnection::shutdownSocket()
{
    breakOff();
}

void DoorConnection::finish()
{
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    cv_.notify_all();
    if (writer_.joinable())
        writer_.join();
    broken_ = true;
    ::shutdown(fd_, SHUT_RDWR);
}

void DoorConnection::writerLoop()
{
    using Clock = std::chrono::steady_clock;
    for (;;) {
        std::string line;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [&] { return broken_ || finishing_ || !queue_.empty(); });
            if (broken_ || queue_.empty())
                return;
            line = std::move(queue_.front());
            queue_.pop_front();
        }
        std::size_t done = 0;
        auto lastProgress = Clock::now();
        while (done < line.size()) {
            const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                lastProgress = Clock::now();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !broken_ &&
                Clock::now() - lastProgress < kStallLimit) {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            breakOff();
            return;
        }
        std::lock_guard lock(mutex_);
        queuedBytes_ -= std::min(queuedBytes_, line.size());
    }
}

DoorServer::DoorServer(SessionFactory factory) : factory_(std::move(factory)) {}

DoorServer::~DoorServer()
{
    stop();
}

nlohmann::json DoorServer::errorReply(const nlohmann::json& id, const std::string& text)
{
    return {{"id", id}, {"ok", false}, {"error", text}};
}

bool DoorServer::nestsDeeperThan(std::string_view text, int limit)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

nlohmann::json DoorServer::leadingId(std::string_view line)
{
    constexpr std::size_t kLook = 4096;
    line = line.substr(0, kLook);
    int depth = 0;
    std::size_t i = 0;
    // The end of the string that opens at i (its closing quote), or npos.
    auto stringEnd = [&](std::size_t from) {
        for (std::size_t k = from + 1; k < line.size(); ++k) {
            if (line[k] == '\\')
                ++k;
            else if (line[k] == '"')
                return k;
        }
        return std::string_view::npos;
    };
    auto skipBlanks = [&](std::size_t k) {
        while (k < line.size() && (line[k] == ' ' || line[k] == '\t'))
            ++k;
        return k;
    };
    while (i < line.size()) {
        const char c = line[i];
        if (c == '"') {
            const std::size_t end = stringEnd(i);
            if (end == std::string_view::npos)
                return nullptr;
            const bool isIdKey = depth == 1 && line.substr(i, end - i + 1) == "\"id\"";
            i = end + 1;
            if (!isIdKey)
                continue;
            std::size_t v = skipBlanks(i);
            if (v >= line.size() || line[v] != ':')
                continue;
            v = skipBlanks(v + 1);
            std::size_t e = v;
            if (e < line.size() && line[e] == '"') {
                e = stringEnd(e);
                if (e == std::string_view::npos)
                    return nullptr;
                ++e;
            } else {
                while (e < line.size() && line[e] != 0 && std::strchr("-+.0123456789eE", line[e]))
                    ++e;
            }
            nlohmann::json id = nlohmann::json::parse(line.substr(v, e - v), nullptr, false);
            return id.is_number() || id.is_string() ? id : nlohmann::json();
        }
        if (c == '{' || c == '[')
            ++depth;
        else if (c == '}' || c == ']')
            --depth;
        ++i;
    }
    return nullptr;
}

bool DoorServer::start(const std::string& path, std::string* error)
{
    if (!prepareDoorSocketPath(path, error))
        return false;
    // Bound under a temporary name and renamed into place once listening, so that the socket
    // file appears only when clients can connect.
    const std::string temporary = path + ".new" + std::to_string(::getpid());
    sockaddr_un addr{};
    if (temporary.size() >= sizeof(addr.sun_path)) {
        if (error)
            *error = "socket path too long: " + path;
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, temporary.c_str(), temporary.size() + 1);
    ::unlink(temporary.c_str());

    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        if (error)
            *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    // Bind under a tight umask so the socket is never reachable by others, not even briefly.
    const mode_t old = ::umask(0177);
    const int bound = ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    const int bindErrno = errno;
    ::umask(old);
    // The socket is open to a group only where the folder already is, to that very group: the
    // socket takes the process's group (or a setgid folder's), which may be another one, and
    // a folder anyone may write to gives no group a door of its own.
    struct stat folder{}, socketFile{};
    const std::string folderPath = std::filesystem::path(path).parent_path().string();
    const bool groupFolder = ::stat(folderPath.empty() ? "." : folderPath.c_str(), &folder) == 0 &&
                             ::stat(temporary.c_str(), &socketFile) == 0 && (folder.st_mode & 0070) != 0 &&
                             (folder.st_mode & S_IWOTH) == 0 && folder.st_gid == socketFile.st_gid;
    const mode_t mode = groupFolder ? 0660 : 0600;
    doorGroup_ = groupFolder ? socketFile.st_gid : static_cast<gid_t>(-1);
    if (bound != 0 || ::listen(listenFd_, 16) != 0 || ::chmod(temporary.c_str(), mode) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        if (error)
            *error = "cannot listen on " + path + ": " + std::strerror(bound != 0 ? bindErrno : errno);
        ::close(listenFd_);
        listenFd_ = -1;
        ::unlink(temporary.c_str());
        return false;
    }
    path_ = path;
    ownsSocketFile_ = true;
    if (!startAccepting(error)) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool DoorServer::adopt(int listeningFd, std::string* error)
{
    sockaddr_un addr{};
    socklen_t size = sizeof addr;
    if (::getsockname(listeningFd, reinterpret_cast<sockaddr*>(&addr), &size) != 0 || addr.sun_family != AF_UNIX) {
        if (error)
            *error = "the socket handed over is not a local socket";
        return false;
    }
    listenFd_ = listeningFd;
    path_ = addr.sun_path;
    ownsSocketFile_ = false;
    // A socket made for us (systemd's SocketMode=0660) is open to its group.
    struct stat socketFile{};
    doorGroup_ = ::stat(path_.c_str(), &socketFile) == 0 && (socketFile.st_mode & 0060) != 0
                     ? socketFile.st_gid
                     : static_cast<gid_t>(-1);
    return startAccepting(error);
}

bool DoorServer::startAccepting(std::string* error)
{
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        if (error)
            *error = std::string("pipe: ") + std::strerror(errno);
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    stopping_ = false;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void DoorServer::stop()
{
    if (listenFd_ < 0)
        return;
    stopping_ = true;
    [[maybe_unused]] const ssize_t w = ::write(wakePipe_[1], "x", 1);
    if (acceptThread_.joinable())
        acceptThread_.join();

    std::list<std::shared_ptr<Client>> clients;
    {
        std::lock_guard lock(clientsMutex_);
        clients.swap(clients_);
    }
    for (auto& c : clients)
        c->connection->shutdownSocket();
    for (auto& c : clients)
        if (c->thread.joinable())
            c->thread.join();

    ::close(listenFd_);
    listenFd_ = -1;
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    wakePipe_[0] = wakePipe_[1] = -1;
    if (ownsSocketFile_)
        ::unlink(path_.c_str());
}

std::size_t DoorServer::connectionCount() const
{
    std::lock_guard lock(clientsMutex_);
    std::size_t n = 0;
    for (const auto& c : clients_)
        if (!c->finished)
            ++n;
    return n;
}

void DoorServer::reapFinished()
{
    std::list<std::shared_ptr<Client>> done;
    {
        std::lock_guard lock(clientsMutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            if ((*it)->finished) {
                done.push_back(*it);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : done)
        if (c->thread.joinable())
            c->thread.join();
}

bool DoorServer::parseRequest(const std::string& line, nlohmann::json* request, nlohmann::json* error)
{
    auto refuse = [&](const nlohmann::json& id, const std::string& text) {
        *error = errorReply(id, text);
        return false;
    };
    // Checked before parsing: a value nested without bound would exhaust the stack when
    // copied, dumped or destroyed.
    if (nestsDeeperThan(line, kMaxDepth))
        return refuse(leadingId(line), "malformed request: nested deeper than " + std::to_string(kMaxDepth) + " levels");
    *request = nlohmann::json::parse(line, nullptr, false);
    if (request->is_discarded())
        return refuse(leadingId(line), "malformed request: not JSON");
    if (!request->is_object())
        return refuse(nullptr, "malformed request: not a JSON object");
    nlohmann::json id;
    if (request->contains("id")) {
        if (!(*request)["id"].is_number() && !(*request)["id"].is_string())
            return refuse(nullptr, "malformed request: \"id\" is a number or a string");
        id = (*request)["id"];
    }
    if (!request->contains("op") || !(*request)["op"].is_string())
        return refuse(id, "malformed request: no \"op\"");
    return true;
}

nlohmann::json DoorServer::answerLine(DoorSession& session, const std::string& line, bool* closeAfter)
{
    nlohmann::json request, error;
    if (!parseRequest(line, &request, &error))
        return error;
    return answerRequest(session, request, closeAfter);
}

nlohmann::json DoorServer::answerRequest(DoorSession& session, const nlohmann::json& request, bool* closeAfter)
{
    const nlohmann::json id = request.contains("id") ? request["id"] : nlohmann::json();
    nlohmann::json reply;
    try {
        reply = session.handle(request, closeAfter);
    } catch (const std::exception& e) {
        reply = {{"ok", false}, {"error", std::string("request failed: ") + e.what()}};
    }
    reply["id"] = id;
    return reply;
}

void DoorServer::refuse(int fd, const std::string& text)
{
    const std::string line = errorReply(nullptr, text).dump() + "\n";
    [[maybe_unused]] const ssize_t n = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

bool DoorServer::peerAllowed(int fd) const
{
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    if (peer.uid == ::getuid() || peer.uid == 0)
        return true;
    if (doorGroup_ == static_cast<gid_t>(-1))
        return false;
    if (peer.gid == doorGroup_)
        return true;
    // A member through a supplementary group, as the account database has it.
    passwd pw{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(peer.uid, &pw, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    int count = 256;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
        return false;
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), doorGroup_) != groups.end();
}

void DoorServer::acceptLoop()
{
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, 1000);
        reapFinished();
        if (r < 0 && errno != EINTR)
            break;
        if (stopping_ || (fds[1].revents & POLLIN))
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors the pending connection stays and poll reports it again at
            // once: rest (waking for stop) until clients have gone, instead of spinning.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                pollfd wake{wakePipe_[0], POLLIN, 0};
                ::poll(&wake, 1, kOutOfDescriptorsPauseMs);
            }
            continue;
        }
        if (!peerAllowed(fd)) {
            refuse(fd, "this door is not open to you");
            continue;
        }
        if (connectionCount() >= maxClients_) {
            refuse(fd, "too many clients (limit " + std::to_string(maxClients_) + "); try again later");
            continue;
        }
        auto client = std::make_shared<Client>();
        try {
            client->connection = std::make_shared<DoorConnection>(fd);
            std::lock_guard lock(clientsMutex_);
            clients_.push_back(client);
            client->thread = std::thread([this, client] { serve(client); });
        } catch (const std::system_error&) {
            // No thread for it: the connection (if made) closes the descriptor.
            if (!client->connection)
                ::close(fd);
            std::lock_guard lock(clientsMutex_);
            clients_.remove(client);
        }
    }
}

void DoorServer::serve(const std::shared_ptr<Client>& client)
{
    auto& conn = *client->connection;
    std::unique_ptr<DoorSession> session = factory_(client->connection);
    std::string buffer;
    bool discarding = false; // inside an oversized line, up to its newline
    bool open = session != nullptr;
    if (!open)
        conn.send(errorReply(nullptr, "the server cannot take clients now"));

    // Requests answered on threads of their own (DoorSession::runsApart), at most kMaxApart.
    struct Apart {
        std::thread thread;
        bool done = false; // under apartMutex
    };
    std::mutex apartMutex;
    std::condition_variable apartDone;
    std::list<Apart> apart;
    auto reapApart = [&](std::unique_lock<std::mutex>& lock, std::size_t keep) {
        for (;;) {
            for (auto it = apart.begin(); it != apart.end();) {
                if (it->done) {
                    it->thread.join();
                    it = apart.erase(it);
                } else {
                    ++it;
                }
            }
            if (apart.size() <= keep)
                return;
            apartDone.wait(lock);
        }
    };

    auto takeLine = [&](const std::string& line) {
        nlohmann::json request, error;
        if (!parseRequest(line, &request, &error))
            return conn.send(error);
        if (request.contains("id") && session->runsApart(request)) {
            std::unique_lock lock(apartMutex);
            reapApart(lock, kMaxApart - 1);
            Apart& slot = apart.emplace_back();
            try {
                slot.thread = std::thread([&, request, slotPtr = &slot] {
                    bool ignored = false;
                    conn.send(answerRequest(*session, request, &ignored));
                    std::lock_guard done(apartMutex);
                    slotPtr->done = true;
                    apartDone.notify_all();
                });
                return true;
            } catch (const std::system_error&) {
                apart.pop_back(); // no thread for it: answered in turn below
            }
        }
        bool closeAfter = false;
        const bool sent = conn.send(answerRequest(*session, request, &closeAfter));
        return sent && !closeAfter;
    };

    char chunk[8192];
    while (open && !stopping_) {
        const ssize_t n = ::recv(conn.fd(), chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        buffer.append(chunk, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (;;) {
            const auto nl = buffer.find('\n', start);
            if (nl == std::string::npos)
                break;
            std::string line = buffer.substr(start, nl - start);
            start = nl + 1;
            if (discarding) {
                discarding = false;
                continue;
            }
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos)
                continue;
            if (!takeLine(line)) {
                open = false;
                break;
            }
        }
        buffer.erase(0, start);
        if (open && buffer.size() > kMaxLine) {
            if (!discarding)
                open = conn.send(errorReply(leadingId(buffer), "request line too long (limit " +
                                                                   std::to_string(kMaxLine) + " bytes)"));
            discarding = true;
            buffer.clear();
        }
    }
    {
        std::unique_lock lock(apartMutex);
        reapApart(lock, 0);
    }
    if (session)
        session->ended();
    session.reset();
    conn.finish();
    client->finished = true;
}
