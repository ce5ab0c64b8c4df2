#include "tools/hostlink/tracing_line.h"

#include <cstdio>

std::string traceText(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c >= 32 && c < 127) {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(static_cast<unsigned char>(c)));
            out += hex;
        }
    }
    return out;
}

TracingLine::TracingLine(std::unique_ptr<Line> inner, std::ostream& out)
    : inner_(std::move(inner)), out_(out)
{
}

TracingLine::~TracingLine()
{
    flushReceived(" (no CR)");
}

bool TracingLine::open()
{
    return inner_->open();
}

void TracingLine::close()
{
    flushReceived(" (no CR)");
    inner_->close();
}

void TracingLine::flushReceived(const char* note)
{
    if (received_.empty())
        return;
    out_ << "< " << traceText(received_) << note << std::endl;
    received_.clear();
}

LineStatus TracingLine::write(const std::uint8_t* bytes, std::size_t length, int timeoutMs)
{
    flushReceived(" (no CR)");
    out_ << "> " << traceText(std::string(reinterpret_cast<const char*>(bytes), length))
         << std::endl;
    const LineStatus status = inner_->write(bytes, length, timeoutMs);
    if (status != LineStatus::Ok)
        out_ << "  (send failed)" << std::endl;
    return status;
}

LineStatus TracingLine::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs,
                             std::size_t* received)
{
    const LineStatus status = inner_->read(buffer, capacity, timeoutMs, received);
    if (status == LineStatus::Ok) {
        received_.append(reinterpret_cast<const char*>(buffer), *received);
        if (!received_.empty() && received_.back() == '\r')
            flushReceived("");
    } else if (status == LineStatus::Timeout) {
        if (received_.empty())
            out_ << "  (no reply)" << std::endl;
        else
            flushReceived(" (then silence)");
    } else {
        flushReceived(" (then line lost)");
    }
    return status;
}
