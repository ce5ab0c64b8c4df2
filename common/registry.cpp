#include "registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && lower(a) == lower(b);
}

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

} // namespace

Registry::Registry(fs::path root) : root_(std::move(root)) {}

fs::path Registry::defaultRoot()
{
    const char* env = std::getenv("MOLV_REGISTRY_ROOT");
    if (env && *env)
        return fs::path(env);
    return fs::path("/etc/molv/registry");
}

Registry Registry::fromEnvironment()
{
    return Registry(defaultRoot());
}

fs::path Registry::keyFolder(std::string_view key) const
{
    fs::path folder = root_;
    std::string part;
    for (char c : lower(key)) {
        if (c == '\\' || c == '/') {
            if (!part.empty())
                folder /= part;
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        folder /= part;
    return folder;
}

bool Registry::keyExists(std::string_view key) const
{
    std::error_code ec;
    return fs::is_directory(keyFolder(key), ec);
}

std::vector<std::pair<std::string, std::string>> Registry::values(std::string_view key) const
{
    std::vector<std::pair<std::string, std::string>> out;
    std::ifstream in(keyFolder(key) / "values", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

std::optional<std::string> Registry::readString(std::string_view key, std::string_view name) const
{
    for (auto& [n, v] : values(key))
        if (sameName(n, name))
            return v;
    return std::nullopt;
}

bool Registry::writeValues(std::string_view key,
                           const std::vector<std::pair<std::string, std::string>>& values,
                           std::string* error)
{
    const fs::path folder = keyFolder(key);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        setError(error, "cannot create registry key " + folder.string() + ": " + ec.message());
        return false;
    }
    std::string text;
    for (auto& [n, v] : values)
        text += n + "=" + v + "\n";

    auto writeAll = [&](int fd) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return ::fsync(fd) == 0;
    };
    auto failed = [&](int e) {
        setError(error, "cannot write registry key " + folder.string() + ": " + std::strerror(e));
        return false;
    };

    std::string tmpl = (folder / ".values.XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0) {
        // A key whose folder only its owner may change (the service's key: members of its group
        // may record values, but never put a link where the file is) is written in place.
        if (errno != EACCES && errno != EPERM)
            return failed(errno);
        const int inPlace = ::open((folder / "values").c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (inPlace < 0)
            return failed(errno);
        struct stat st{};
        const bool ok = ::fstat(inPlace, &st) == 0 && S_ISREG(st.st_mode) && writeAll(inPlace) &&
                        ::ftruncate(inPlace, static_cast<off_t>(text.size())) == 0 && ::fsync(inPlace) == 0;
        const int e = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(inPlace);
        return ok ? true : failed(e);
    }
    const std::string tmp(buf.data());
    bool ok = writeAll(fd);
    const int savedErrno = errno;
    ::fchmod(fd, 0644);
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), (folder / "values").c_str()) != 0) {
        const int e = ok ? errno : savedErrno;
        ::unlink(tmp.c_str());
        return failed(e);
    }
    return true;
}

bool Registry::writeString(std::string_view key, std::string_view name, std::string_view value,
                           std::string* error)
{
    auto bad = [](std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; };
    if (name.empty() || bad(name) || name.find('=') != std::string_view::npos) {
        setError(error, "invalid registry value name");
        return false;
    }
    if (bad(value)) {
        setError(error, "registry values cannot hold line breaks");
        return false;
    }
    auto current = values(key);
    bool replaced = false;
    for (auto& [n, v] : current) {
        if (sameName(n, name)) {
            n = std::string(name);
            v = std::string(value);
            replaced = true;
        }
    }
    if (!replaced)
        current.emplace_back(std::string(name), std::string(value));
    return writeValues(key, current, error);
}

bool Registry::deleteValue(std::string_view key, std::string_view name, std::string* error)
{
    if (!keyExists(key))
        return true;
    auto current = values(key);
    const auto before = current.size();
    std::erase_if(current, [&](auto& p) { return sameName(p.first, name); });
    if (current.size() == before)
        return true;
    return writeValues(key, current, error);
}

bool Registry::deleteKey(std::string_view key, std::string* error)
{
    const fs::path folder = keyFolder(key);
    if (folder == root_) {
        setError(error, "refusing to delete the registry root");
        return false;
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (ec) {
        setError(error, "cannot delete registry key " + folder.string() + ": " + ec.message());
        return false;
    }
    return true;
}
