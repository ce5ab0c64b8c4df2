#include "server/runtime/systemd_service.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

bool notifyServiceManager(const std::string& state)
{
    const char* where = std::getenv("NOTIFY_SOCKET");
    if (where == nullptr || (where[0] != '/' && where[0] != '@'))
        return false;
    sockaddr_un addr{};
    const std::size_t length = std::strlen(where);
    if (length >= sizeof(addr.sun_path))
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, where, length);
    if (addr.sun_path[0] == '@')
        addr.sun_path[0] = '\0'; // an abstract socket
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    const bool sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), size) ==
                      static_cast<ssize_t>(state.size());
    ::close(fd);
    return sent;
}

int takeActivatedSocket()
{
    constexpr int kFirstFd = 3;
    const char* pid = std::getenv("LISTEN_PID");
    const char* fds = std::getenv("LISTEN_FDS");
    const bool ours = pid != nullptr && fds != nullptr && std::strtol(pid, nullptr, 10) == ::getpid() &&
                      std::strtol(fds, nullptr, 10) >= 1;
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    if (!ours)
        return -1;
    int listening = 0;
    socklen_t size = sizeof listening;
    if (::getsockopt(kFirstFd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening == 0)
        return -1;
    ::fcntl(kFirstFd, F_SETFD, FD_CLOEXEC);
    return kFirstFd;
}
