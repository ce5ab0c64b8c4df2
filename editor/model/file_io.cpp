#include "editor/model/file_io.h"

#include "editor/model/editor_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string errnoText(const std::string& path)
{
    return editor_err::standardDescription(editor_err::kFileAccess) + " (" + path + ": " + std::strerror(errno) + ")";
}

} // namespace

void writeReplacing(const std::string& path, const std::string& bytes)
{
    std::string pattern = path + ".XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        editor_err::raise(editor_err::kFileAccess, errnoText(path));
    struct stat old {};
    mode_t mode;
    if (stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (ok)
        ok = fchmod(fd, mode) == 0 && fsync(fd) == 0;
    int savedErrno = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && std::rename(pattern.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        ::unlink(pattern.c_str());
        errno = savedErrno;
        editor_err::raise(editor_err::kFileAccess, errnoText(path));
    }
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& why)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}
