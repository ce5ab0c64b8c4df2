// The last ten communication messages. Only the polling thread writes it; the main window
// reads it when told that a line was added.
#pragma once

#include <array>
#include <mutex>
#include <string>
#include <vector>

class MessageRing {
public:
    static constexpr int kSize = 10;
    // An unused entry shows as an empty line.
    static constexpr const char* kFiller = "\r\n";

    MessageRing();

    // Stores the line at the ring index and advances the index modulo 10.
    void put(const std::string& line);

    // The index where the next line goes (0 to 9, 0 at start).
    int index() const;
    std::array<std::string, kSize> entries() const;
    // The ten entries newest first: entry index-1, index-2, ... wrapping, as the window shows them.
    std::string newestFirst() const;
    // The lines in use, newest first, with the count of lines put since the start (a reader
    // tells new lines by it); both taken at one moment.
    struct Lines {
        std::vector<std::string> newestFirst;
        unsigned long long written = 0;
    };
    Lines lines() const;

private:
    mutable std::mutex mutex_;
    std::array<std::string, kSize> lines_;
    int index_ = 0;
    unsigned long long written_ = 0;
};

// The server's ring.
extern MessageRing messageRing;
