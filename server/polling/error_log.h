// The communication log: one line per change of a PLC's result to a failure, kept in Log.err
// beside the server executable (in /var/log/vorlask when that folder is not writable, as for an
// installed server) and rotated to Log.bak once it has passed 1,000,000 bytes.
#pragma once

#include <atomic>
#include <ctime>
#include <filesystem>
#include <string>

class MessageCatalog;

// "Log on File": off at start, flipped by the main window, read by the polling thread.
extern std::atomic<bool> logToFile;

inline constexpr const char* kLogFileName = "Log.err";
inline constexpr const char* kLogBackupName = "Log.bak";
inline constexpr long long kLogRotateSize = 1000000; // rotate when the file is larger than this

// "Gen", "Feb", ... "Dec" for months 1 to 12; "???" otherwise.
const char* monthWord(int month);

// "<plcName>: <day> <month word> <year> <HH> <MM> <catalogue text>\r\n", local time now.
std::string formatLogLine(int result, const std::string& plcName);
// The same line with a text of its own in place of the result's ("PLC mode RUN -> PROGRAM").
std::string formatLogText(const std::string& text, const std::string& plcName);
std::string formatLogText(const std::string& text, const std::string& plcName, const std::tm& localTime);
// The same for a given local time and catalogue.
std::string formatLogLine(int result, const std::string& plcName, const std::tm& localTime,
                          const MessageCatalog& catalog);

inline constexpr const char* kServiceLogFolder = "/var/log/vorlask";

// Where Log.err goes for a server whose executable lies in executableFolder: that folder when
// the server may write there, else kServiceLogFolder.
std::filesystem::path logFolderFor(const std::filesystem::path& executableFolder);

// Appends the line to Log.err in the executable's folder (or the given folder), rotating the
// file first when it is larger than 1,000,000 bytes. Failures are silent; the next line tries
// again.
void appendLogLine(const std::string& line);
void appendLogLine(const std::string& line, const std::filesystem::path& folder);
