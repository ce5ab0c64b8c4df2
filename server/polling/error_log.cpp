#include "server/polling/error_log.h"

#include "server/polling/message_catalog.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::atomic<bool> logToFile{false};

namespace {

constexpr std::array<const char*, 12> kMonthWords = {"Gen", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Opened for every line and held exclusively while it is written, so other programs may read
// or move the file between lines.
int openLog(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::flock(fd, LOCK_EX | LOCK_NB); // best effort, as "no sharing" is advisory here
    return fd;
}

} // namespace

const char* monthWord(int month) {
    if (month < 1 || month > 12)
        return "???";
    return kMonthWords[static_cast<std::size_t>(month - 1)];
}

std::string formatLogLine(int result, const std::string& plcName, const std::tm& localTime,
                          const MessageCatalog& catalog) {
    std::string text;
    if (result >= 0)
        catalog.lookup(static_cast<std::uint32_t>(result), text);
    return formatLogText(text, plcName, localTime);
}

std::string formatLogText(const std::string& text, const std::string& plcName) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return formatLogText(text, plcName, local);
}

std::string formatLogText(const std::string& text, const std::string& plcName, const std::tm& localTime) {
    char hour[8];
    char minute[8];
    std::snprintf(hour, sizeof hour, "%02d", localTime.tm_hour);
    std::snprintf(minute, sizeof minute, "%02d", localTime.tm_min);
    int size = std::snprintf(nullptr, 0, "%s: %i %s %i %s %s %s\r\n", plcName.c_str(),
                             localTime.tm_mday, monthWord(localTime.tm_mon + 1),
                             localTime.tm_year + 1900, hour, minute, text.c_str());
    std::string line(static_cast<std::size_t>(size), '\0');
    std::snprintf(line.data(), line.size() + 1, "%s: %i %s %i %s %s %s\r\n", plcName.c_str(),
                  localTime.tm_mday, monthWord(localTime.tm_mon + 1), localTime.tm_year + 1900,
                  hour, minute, text.c_str());
    return line;
}

std::string formatLogLine(int result, const std::string& plcName) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return formatLogLine(result, plcName, local, MessageCatalog::instance());
}

std::filesystem::path logFolderFor(const std::filesystem::path& executableFolder) {
    return ::access(executableFolder.c_str(), W_OK) == 0 ? executableFolder : std::filesystem::path(kServiceLogFolder);
}

void appendLogLine(const std::string& line) { appendLogLine(line, logFolderFor(moduleDirectory())); }

void appendLogLine(const std::string& line, const std::filesystem::path& folder) {
    const std::filesystem::path logPath = folder / kLogFileName;
    int fd = openLog(logPath);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return;
    }
    if (st.st_size > kLogRotateSize) {
        const std::filesystem::path backup = folder / kLogBackupName;
        std::error_code ec;
        if (std::filesystem::exists(backup, ec))
            std::filesystem::remove(backup, ec);
        ::close(fd);
        std::filesystem::rename(logPath, backup, ec);
        fd = openLog(logPath);
        if (fd < 0)
            return;
    }
    if (::lseek(fd, 0, SEEK_END) >= 0) {
        ssize_t written = ::write(fd, line.data(), line.size());
        (void)written; // a failed write is ignored; the next line tries again
    }
    ::close(fd);
}
