#include "server/hostlink/tcp_line.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "server/hostlink/telnet_session.h"

namespace {

using Clock = TcpLine::Clock;

int msUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Bytes one drain takes at most: a peer that floods the line cannot keep the worker reading.
constexpr std::size_t kDrainLimit = 64 * 1024;
constexpr int kMaxCallers = 16;

struct AddrInfoList {
    addrinfo* head = nullptr;
    ~AddrInfoList()
    {
        if (head)
            freeaddrinfo(head);
    }
};

// Resolves host within the deadline. An address is taken at once; a name is looked up on a
// helper thread, so that a slow resolver holds the line no longer than its connect time-out.
std::shared_ptr<AddrInfoList> resolve(const std::string& host, std::uint16_t port, bool passive,
                                      Clock::time_point deadline, std::string* why)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    const std::string service = std::to_string(port);
    auto list = std::make_shared<AddrInfoList>();
    addrinfo numeric = hints;
    numeric.ai_flags |= AI_NUMERICHOST;
    int rc = getaddrinfo(host.c_str(), service.c_str(), &numeric, &list->head);
    if (rc == EAI_NONAME) {
        struct Lookup {
            std::mutex m;
            std::condition_variable cv;
            bool done = false;
            int rc = 0;
            std::shared_ptr<AddrInfoList> list = std::make_shared<AddrInfoList>();
        };
        auto lookup = std::make_shared<Lookup>();
        try {
            std::thread([lookup, host, service, hints] {
            addrinfo* head = nullptr;
            const int r = getaddrinfo(host.c_str(), service.c_str(), &hints, &head);
            std::lock_guard lock(lookup->m);
            lookup->rc = r;
            lookup->list->head = head;
            lookup->done = true;
            lookup->cv.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            *why = "cannot resolve " + host + ": no thread for the lookup";
            return nullptr;
        }
        std::unique_lock lock(lookup->m);
        if (!lookup->cv.wait_until(lock, deadline, [&] { return lookup->done; })) {
            *why = "cannot resolve " + host + ": no answer in time";
            return nullptr;
        }
        rc = lookup->rc;
        list = lookup->list;
    }
    if (rc != 0 || list->head == nullptr) {
        *why = "cannot resolve " + host + ": " + gai_strerror(rc);
        return nullptr;
    }
    return list;
}

std::string peerText(const sockaddr_storage& a)
{
    char text[INET6_ADDRSTRLEN] = "?";
    if (a.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
    else if (a.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
    return text;
}

// The IPv4 address of a (possibly v4-mapped IPv6) socket address, or its IPv6 bytes.
std::string hostBytes(const sockaddr* a)
{
    if (a->sa_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in*>(a)->sin_addr;
        return std::string(reinterpret_cast<const char*>(&in), 4);
    }
    if (a->sa_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr;
        const auto* b = reinterpret_cast<const char*>(&in6);
        if (IN6_IS_ADDR_V4MAPPED(&in6))
            return std::string(b + 12, 4);
        return std::string(b, 16);
    }
    return {};
}

// Short keepalive probes find a device server that lost power (about 11 s); the user time-out
// bounds how long unacknowledged commands keep a dead connection up.
void tune(int fd)
{
    const int one = 1, idle = 5, interval = 2, count = 3, userTimeoutMs = 10000;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

bool connectionLost(int error)
{
    return error != EINTR && error != EAGAIN && error != EWOULDBLOCK;
}

std::string settingsText(std::uint32_t baud, unsigned dataBits, std::uint8_t parityCode, std::uint8_t stopCode)
{
    const char* parity = parityCode == 1 ? "no" : parityCode == 2 ? "odd" : parityCode == 3 ? "even" : "other";
    return std::to_string(baud) + " baud, " + std::to_string(dataBits) + " data bits, " + parity +
           " parity, " + (stopCode == 2 ? "2 stop bits" : stopCode == 1 ? "1 stop bit" : "other stop bits");
}

} // namespace

TcpLine::TcpLine(NetworkAddress address, const SerialSettings& settings, int connectTimeoutMs)
    : address_(std::move(address)), settings_(settings), connectTimeoutMs_(connectTimeoutMs)
{
}

TcpLine::~TcpLine()
{
    close();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

bool TcpLine::failed(std::string why)
{
    lastError_ = address_.text() + ": " + std::move(why);
    return false;
}

bool TcpLine::open()
{
    if (fd_ >= 0)
        return true;
    const auto now = Clock::now();
    const bool waiting = now < nextAttempt_;
    bool ok;
    if (address_.kind == NetworkAddress::Kind::Listen) {
        // A device server that calls in is taken whenever it does; a back-off only shortens
        // the wait for it.
        ok = takeCaller(waiting ? now : now + std::chrono::milliseconds(connectTimeoutMs_));
    } else if (waiting) {
        return false; // lastError_ still tells why the last attempt failed
    } else {
        const auto deadline = now + std::chrono::milliseconds(connectTimeoutMs_);
        ok = connectOut(deadline) && (address_.kind != NetworkAddress::Kind::Rfc2217 || negotiate(deadline));
    }
    if (!ok) {
        dropConnection();
        if (!waiting)
            nextAttempt_ = Clock::now() + nextBackOff();
        return false;
    }
    lastError_.clear();
    return true;
}

bool TcpLine::connectOut(Clock::time_point deadline)
{
    std::string why;
    auto list = resolve(address_.host, address_.port, false, deadline, &why);
    if (!list)
        return failed(why);
    std::string lastWhy = "no address";
    int addresses = 0;
    for (addrinfo* ai = list->head; ai != nullptr; ai = ai->ai_next)
        ++addresses;
    for (addrinfo* ai = list->head; ai != nullptr; ai = ai->ai_next, --addresses) {
        // Each address gets its share of what is left: one that drops packets silently does
        // not use up the time of the next.
        const auto share = Clock::now() + (deadline - Clock::now()) / addresses;
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            lastWhy = std::strerror(errno);
            continue;
        }
        tune(fd);
        int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int ready;
            while ((ready = ::poll(&p, 1, msUntil(share))) < 0 && errno == EINTR) {
            }
            int error = ETIMEDOUT;
            socklen_t len = sizeof error;
            if (ready > 0)
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
            rc = error == 0 ? 0 : -1;
            errno = error;
        }
        if (rc == 0) {
            fd_ = fd;
            peerGone_ = false;
            pending_.clear();
            return true;
        }
        lastWhy = errno == ETIMEDOUT ? "no answer in time" : std::strerror(errno);
        ::close(fd);
        if (msUntil(deadline) == 0)
            break;
    }
    return failed("cannot connect: " + lastWhy);
}

bool TcpLine::listening()
{
    if (listenFd_ >= 0)
        return true;
    std::string why;
    auto list = resolve(address_.host, address_.port, true,
                        Clock::now() + std::chrono::milliseconds(connectTimeoutMs_), &why);
    if (!list)
        return failed(why);
    const addrinfo* ai = list->head;
    const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0)
        return failed(std::string("cannot listen: ") + std::strerror(errno));
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
        const int e = errno;
        ::close(fd);
        return failed(std::string("cannot listen: ") + std::strerror(e));
    }
    // The one device server let in, looked up once: a stranger's call costs no lookup.
    allowed_.clear();
    if (!address_.from.empty()) {
        auto from = resolve(address_.from, 1, false, Clock::now() + std::chrono::milliseconds(connectTimeoutMs_), &why);
        if (!from) {
            ::close(fd);
            return failed("from=" + address_.from + ": " + why);
        }
        for (addrinfo* ai = from->head; ai != nullptr; ai = ai->ai_next)
            allowed_.push_back(hostBytes(ai->ai_addr));
    }
    listenFd_ = fd;
    return true;
}

int TcpLine::acceptAllowed()
{
    // A bounded number of callers a time: a flood of strangers cannot hold the worker here.
    // Of several that wait, the newest is taken.
    int taken = -1;
    for (int i = 0; i < kMaxCallers; ++i) {
        sockaddr_storage peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            break;
        }
        // Only the named device server may take the line: anyone else would get the commands
        // and could answer them.
        const std::string bytes = hostBytes(reinterpret_cast<const sockaddr*>(&peer));
        if (!address_.from.empty() && std::find(allowed_.begin(), allowed_.end(), bytes) == allowed_.end()) {
            ::close(fd);
            lastError_ = address_.text() + ": refused a connection from " + peerText(peer);
            continue;
        }
        if (taken >= 0)
            ::close(taken);
        taken = fd;
    }
    return taken;
}

bool TcpLine::takeCaller(Clock::time_point deadline)
{
    if (!listening())
        return false;
    for (;;) {
        if (const int fd = acceptAllowed(); fd >= 0) {
            tune(fd);
            fd_ = fd;
            peerGone_ = false;
            pending_.clear();
            return true;
        }
        pollfd p{listenFd_, POLLIN, 0};
        const int left = msUntil(deadline);
        if (left == 0 || ::poll(&p, 1, left) == 0)
            return failed("the device server has not called in");
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // a caller not accepted (no fd left)
    }
}

bool TcpLine::negotiate(Clock::time_point deadline)
{
    telnet_ = std::make_unique<TelnetSession>();
    const std::string opening = telnet_->opening(&settings_);
    if (const ssize_t n = ::send(fd_, opening.data(), opening.size(), MSG_NOSIGNAL);
        n != static_cast<ssize_t>(opening.size()))
        return failed(n < 0 ? std::string("cannot send the line settings: ") + std::strerror(errno)
                            : std::string("cannot send the line settings at once"));
    const TelnetSession::PortReport& r = telnet_->report();
    while (!r.complete() && !telnet_->comPortRefused()) {
        pollfd p{fd_, POLLIN, 0};
        const int left = msUntil(deadline);
        if (left == 0 || ::poll(&p, 1, left) == 0)
            return failed("the device server did not confirm the line settings (RFC 2217) in time");
        if (!drain())
            return failed("the device server closed the connection");
        pending_.clear(); // nothing is asked yet: whatever data came is not a reply
    }
    if (telnet_->comPortRefused())
        return failed("the device server refuses COM port control (RFC 2217)");
    const std::uint8_t parity = TelnetSession::parityCode(settings_.parity);
    const std::uint8_t stop = TelnetSession::stopCode(settings_.stopBits);
    if (*r.baudRate != settings_.baudRate || *r.dataSize != settings_.dataBits || *r.parity != parity ||
        *r.stopSize != stop) {
        return failed("settings rejected: the device server set " +
                      settingsText(*r.baudRate, *r.dataSize, *r.parity, *r.stopSize) + " for " +
                      settingsText(settings_.baudRate, static_cast<unsigned>(settings_.dataBits), parity, stop));
    }
    return true;
}

bool TcpLine::drain()
{
    std::uint8_t chunk[4096];
    std::size_t taken = 0;
    while (taken < kDrainLimit) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0) {
            peerGone_ = true;
            return false;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (!connectionLost(errno))
                return true;
            peerGone_ = true;
            lastError_ = address_.text() + ": " + std::strerror(errno);
            return false;
        }
        taken += static_cast<std::size_t>(n);
        if (telnet_) {
            telnet_->receive(chunk, static_cast<std::size_t>(n), pending_, outbox_);
            if (!outbox_.empty()) {
                // Answers go whole before anything else: half an IAC sequence would swallow
                // the first byte of the next command.
                const ssize_t sent = ::send(fd_, outbox_.data(), outbox_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (sent > 0)
                    outbox_.erase(0, static_cast<std::size_t>(sent));
            }
        } else {
            pending_.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
        }
    }
    return true;
}

void TcpLine::dropConnection()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    telnet_.reset();
    pending_.clear();
    outbox_.clear();
    peerGone_ = false;
    heard_ = false;
}

void TcpLine::close()
{
    // A connection that closed before it carried a single reply (a device server whose port is
    // busy accepts and hangs up) is not tried again at once.
    if (fd_ >= 0 && !heard_)
        nextAttempt_ = Clock::now() + nextBackOff();
    dropConnection();
}

std::chrono::milliseconds TcpLine::nextBackOff()
{
    backOff_ = backOff_.count() == 0 ? kFirstBackOff : std::min(backOff_ * 2, kLastBackOff);
    return backOff_;
}

LineStatus TcpLine::write(const std::uint8_t* bytes, std::size_t length, int timeoutMs)
{
    if (fd_ < 0)
        return LineStatus::Failed;
    if (peerGone_)
        return LineStatus::Gone;
    // The whole command in one send: with TCP_NODELAY it leaves as one segment.
    std::string wire = std::move(outbox_);
    outbox_.clear();
    if (telnet_)
        telnet_->encode(bytes, length, wire);
    else
        wire.append(reinterpret_cast<const char*>(bytes), length);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < wire.size()) {
        const ssize_t n = ::send(fd_, wire.data() + done, wire.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && connectionLost(errno)) {
            lastError_ = address_.text() + ": " + std::strerror(errno);
            return LineStatus::Gone;
        }
        pollfd p{fd_, POLLOUT, 0};
        const int left = msUntil(deadline);
        if (left == 0 || ::poll(&p, 1, left) == 0) {
            // Half a command on a byte stream would garble the next one: start afresh.
            if (done == 0)
                return LineStatus::Timeout;
            lastError_ = address_.text() + ": the device server takes no data";
            return LineStatus::Gone;
        }
    }
    return LineStatus::Ok;
}

LineStatus TcpLine::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs, std::size_t* received)
{
    *received = 0;
    if (fd_ < 0)
        return LineStatus::Failed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!pending_.empty()) {
            const std::size_t n = std::min(capacity, pending_.size());
            std::memcpy(buffer, pending_.data(), n);
            pending_.erase(0, n);
            *received = n;
            heard_ = true;
            backOff_ = std::chrono::milliseconds(0); // the device server works: no back-off
            return LineStatus::Ok;
        }
        if (peerGone_) {
            if (lastError_.empty())
                lastError_ = address_.text() + ": the device server closed the connection";
            return LineStatus::Gone;
        }
        pollfd p{fd_, POLLIN, 0};
        int ready;
        while ((ready = ::poll(&p, 1, msUntil(deadline))) < 0 && errno == EINTR) {
        }
        if (ready == 0)
            return LineStatus::Timeout;
        if (ready < 0)
            return LineStatus::Failed;
        drain();
        if (pending_.empty() && !peerGone_ && msUntil(deadline) == 0)
            return LineStatus::Timeout;
    }
}

std::size_t TcpLine::bytesWaiting()
{
    int queued = 0;
    if (fd_ >= 0 && !telnet_ && ::ioctl(fd_, FIONREAD, &queued) == 0 && queued > 0)
        return pending_.size() + static_cast<std::size_t>(queued);
    return pending_.size();
}

void TcpLine::discardInput()
{
    // A device server that called in again replaces the connection we hold: after a power cut
    // on its side the old one is half-open and would never answer.
    if (address_.kind == NetworkAddress::Kind::Listen && listenFd_ >= 0) {
        if (const int fd = acceptAllowed(); fd >= 0) {
            dropConnection();
            tune(fd);
            fd_ = fd;
        }
    }
    if (fd_ < 0)
        return;
    // Whatever came unasked (a banner, a late reply, negotiation) is not the next reply.
    drain();
    pending_.clear();
}
