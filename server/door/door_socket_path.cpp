#include "server/door/door_socket_path.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string privateTmpFolder()
{
    return "/tmp/vorlask-" + std::to_string(::getuid());
}

bool someoneListens(const std::string& path)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path))
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::string resolveDoorSocketPath(const std::string& explicitPath)
{
    if (!explicitPath.empty())
        return explicitPath;
    if (const char* s = std::getenv("VORLASK_SOCKET"); s && *s)
        return s;
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x)
        return std::string(x) + "/vorlask.sock";
    return privateTmpFolder() + "/vorlask.sock";
}

std::string resolveClientDoorSocketPath(const std::string& explicitPath)
{
    const std::string own = resolveDoorSocketPath(explicitPath);
    const char* env = std::getenv("VORLASK_SOCKET");
    if (!explicitPath.empty() || (env && *env))
        return own;
    struct stat st{};
    if (::stat(own.c_str(), &st) != 0 && ::stat(kServiceDoorSocket, &st) == 0)
        return kServiceDoorSocket;
    return own;
}

bool prepareDoorSocketPath(const std::string& path, std::string* error)
{
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    if (path.size() >= sizeof(sockaddr_un{}.sun_path))
        return fail("socket path too long: " + path);

    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        struct stat st{};
        if (::stat(folder.c_str(), &st) != 0) {
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
            if (ec)
                return fail("cannot create " + folder.string() + ": " + ec.message());
            ::chmod(folder.c_str(), 0700);
        } else if (folder == privateTmpFolder()) {
            if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
                return fail(folder.string() + " does not belong to this user");
            if ((st.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
                return fail("cannot make " + folder.string() + " private: " + std::strerror(errno));
        }
    }

    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode))
            return fail(path + " exists and is not a socket");
        if (someoneListens(path))
            return fail("another server is listening on " + path);
        if (::unlink(path.c_str()) != 0)
            return fail("cannot remove the stale socket " + path + ": " + std::strerror(errno));
    }
    return true;
}
