// The message texts of Vorlask.dat, keyed by HostLinkResult code. Loaded at most once per
// process (the first load that finds the file wins) and kept until the process ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

class MessageCatalog {
public:
    static constexpr std::uint32_t kEndCode = 0xFFFF;
    static constexpr std::size_t kMaxText = 63; // a record's text, cut to fit 64 characters

    // Load results.
    static constexpr int kLoaded = 0;
    static constexpr int kCannotOpen = 1;
    static constexpr int kReadFailed = 2; // the records read so far stay
    // Lookup results.
    static constexpr int kFound = 0;
    static constexpr int kNotFound = 4;

    struct Record {
        std::uint32_t code;
        std::string text;
    };

    // The process-wide catalogue that the polling thread loads and the log lines use.
    static MessageCatalog& instance();

    // Builds the catalogue from the file unless it is built already (then returns 0 at once).
    // 1 when the file cannot be opened (the catalogue stays unbuilt, a later load tries again),
    // 2 when the file ends or a read fails before the FFFF record.
    int load(const std::filesystem::path& path);

    // Copies the text of the first record with this code; 4 (and an empty text) when the
    // catalogue is not loaded or has no such record. Code 0 is never looked up.
    int lookup(std::uint32_t code, std::string& text) const;

    // The catalogue's text for a code, empty when there is none.
    std::string textFor(std::uint32_t code) const;

    bool isLoaded() const;
    // The records in file order, the FFFF record included.
    std::vector<Record> records() const;

private:
    mutable std::mutex mutex_;
    bool loaded_ = false;
    std::vector<Record> records_;
};

// The folder of the server executable; empty when it cannot be found, so that bare file names
// resolve against the current directory.
std::filesystem::path moduleDirectory();
