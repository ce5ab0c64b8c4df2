// An in-memory Line for tests: records what the host sends and answers each write with reply
// bursts chosen by the test. Each burst is handed out by one read; a read with no burst
// waiting returns Timeout at once, so silent-line cases cost no time.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "server/hostlink/line.h"

class MemoryLine : public Line {
public:
    // Called with each written string; returns the bursts of the answer.
    using Responder = std::function<std::vector<std::string>(const std::string& written)>;

    bool open() override
    {
        ++openCalls;
        if (!openSucceeds)
            return false;
        opened = true;
        return true;
    }
    void close() override { opened = false; ++closeCalls; }
    bool isOpen() const override { return opened; }

    LineStatus write(const std::uint8_t* bytes, std::size_t length, int) override
    {
        if (writeStatus != LineStatus::Ok)
            return writeStatus;
        const std::string text(reinterpret_cast<const char*>(bytes), length);
        writes.push_back(text);
        sent += text;
        if (responder) {
            for (std::string& burst : responder(text))
                bursts.push_back(std::move(burst));
        }
        return LineStatus::Ok;
    }

    LineStatus read(std::uint8_t* buffer, std::size_t capacity, int, std::size_t* received) override
    {
        *received = 0;
        if (bursts.empty())
            return silentStatus;
        std::string& front = bursts.front();
        const std::size_t n = std::min(capacity, front.size());
        std::copy(front.begin(), front.begin() + static_cast<std::ptrdiff_t>(n), buffer);
        front.erase(0, n);
        if (front.empty())
            bursts.pop_front();
        *received = n;
        return LineStatus::Ok;
    }

    std::size_t bytesWaiting() override { return bursts.empty() ? 0 : bursts.front().size(); }
    void discardInput() override { bursts.clear(); ++discards; }

    bool openSucceeds = true;
    bool opened = false;
    int openCalls = 0;
    int closeCalls = 0;
    int discards = 0;
    LineStatus writeStatus = LineStatus::Ok;
    LineStatus silentStatus = LineStatus::Timeout;
    Responder responder;
    std::vector<std::string> writes;
    std::string sent;
    std::deque<std::string> bursts;
};

// Cuts text into bursts of size bytes (0: one burst of everything).
inline std::vector<std::string> inBursts(const std::string& text, std::size_t size)
{
    if (size == 0 || size >= text.size())
        return {text};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size(); i += size)
        out.push_back(text.substr(i, size));
    return out;
}

// A frame with its FCS and terminator: "*" CR when final, else CR.
std::string withFcs(const std::string& body, bool final = true);
