#include "server/door_base/door_socket_path.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
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

// The service user's uid; -1 (no one) where there is no such user.
uid_t serviceUid()
{
    passwd pw{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwnam_r(kServiceUser, &pw, buffer, sizeof buffer, &found) != 0 || !found)
        return static_cast<uid_t>(-1);
    return found->pw_uid;
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

std::string untrustedDoorFolder(const std::string& folder)
{
    const std::string shown = folder.empty() ? std::string(".") : folder;
    struct stat st{};
    if (::lstat(shown.c_str(), &st) != 0)
        return "cannot check the door's folder " + shown + ": " + std::strerror(errno);
    if (S_ISLNK(st.st_mode))
        return "the door's folder " + shown + " is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "the door's folder " + shown + " is not a folder";
    if (st.st_uid != ::getuid() && st.st_uid != 0 && st.st_uid != serviceUid())
        return "the door's folder " + shown + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    if (st.st_mode & S_IWOTH)
        return "the door's folder " + shown + " is writable by others";
    return {};
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
        if (::lstat(folder.c_str(), &st) != 0) {
            std::error_code ec;
            if (folder.has_parent_path())
                std::filesystem::create_directories(folder.parent_path(), ec);
            if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
                return fail("cannot create " + folder.string() + ": " + std::strerror(errno));
        }
    }
    if (folder == privateTmpFolder()) {
        struct stat st{};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            return fail(folder.string() + " does not belong to this user");
        if ((st.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
            return fail("cannot make " + folder.string() + " private: " + std::strerror(errno));
    }
    if (const std::string why = untrustedDoorFolder(folder.string()); !why.empty())
        return fail(why + "; the server does not open its door there");

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
