// A Line that shows every frame crossing it on a stream, CR as "\r".
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "server/hostlink/line.h"

class TracingLine : public Line {
public:
    TracingLine(std::unique_ptr<Line> inner, std::ostream& out);
    ~TracingLine() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return inner_->isOpen(); }
    LineStatus write(const std::uint8_t* bytes, std::size_t length, int timeoutMs) override;
    LineStatus read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                    std::size_t* received) override;
    std::size_t bytesWaiting() override { return inner_->bytesWaiting(); }
    void discardInput() override { inner_->discardInput(); }

    Line& inner() { return *inner_; }

private:
    void flushReceived(const char* note);

    std::unique_ptr<Line> inner_;
    std::ostream& out_;
    std::string received_;
};

// Bytes as text: CR as "\r", other control bytes as "\xHH".
std::string traceText(const std::string& bytes);
