#include "server/hostlink/port_names.h"

#include <cctype>

#include "common/registry.h"
#include "server/hostlink/network_address.h"
#include "server/hostlink/serial_port_posix.h"
#include "server/hostlink/tcp_line.h"

namespace {

// A network target that does not parse: the port never opens, and says why.
class UnusableLine : public Line {
public:
    explicit UnusableLine(std::string why) : why_(std::move(why)) {}
    bool open() override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    LineStatus write(const std::uint8_t*, std::size_t, int) override { return LineStatus::Failed; }
    LineStatus read(std::uint8_t*, std::size_t, int, std::size_t* received) override
    {
        *received = 0;
        return LineStatus::Failed;
    }
    std::size_t bytesWaiting() override { return 0; }
    void discardInput() override {}
    const std::string& lastError() const override { return why_; }

private:
    std::string why_;
};

// A configured port name: resolved at every open; the line is made anew when the target
// changed, and kept otherwise (a listening line keeps its socket).
class PortLine : public Line {
public:
    PortLine(std::string name, const SerialSettings& settings) : name_(std::move(name)), settings_(settings) {}
    bool open() override
    {
        if (line_ && line_->isOpen())
            return true;
        std::string target = resolvePortDevice(name_);
        if (!line_ || target != target_) {
            line_ = makeTargetLine(target, settings_);
            target_ = std::move(target);
        }
        return line_->open();
    }
    void close() override
    {
        if (line_)
            line_->close();
    }
    bool isOpen() const override { return line_ && line_->isOpen(); }
    LineStatus write(const std::uint8_t* bytes, std::size_t length, int timeoutMs) override
    {
        return line_ ? line_->write(bytes, length, timeoutMs) : LineStatus::Failed;
    }
    LineStatus read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs, std::size_t* received) override
    {
        *received = 0;
        return line_ ? line_->read(buffer, capacity, timeoutMs, received) : LineStatus::Failed;
    }
    std::size_t bytesWaiting() override { return line_ ? line_->bytesWaiting() : 0; }
    void discardInput() override
    {
        if (line_)
            line_->discardInput();
    }
    void tryAtOnce() override
    {
        if (line_)
            line_->tryAtOnce();
    }
    const std::string& lastError() const override { return line_ ? line_->lastError() : Line::lastError(); }

private:
    std::string name_;
    SerialSettings settings_;
    std::string target_;
    std::unique_ptr<Line> line_;
};

} // namespace

std::string resolvePortDevice(std::string_view portName, const Registry& registry)
{
    if (auto mapped = registry.readString(kPortsKey, portName); mapped && !mapped->empty())
        return *mapped;
    auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    if (portName.size() > 3 && upper(portName[0]) == 'C' && upper(portName[1]) == 'O' &&
        upper(portName[2]) == 'M') {
        unsigned long n = 0;
        bool digits = portName.size() <= 3 + 5;
        for (std::size_t i = 3; digits && i < portName.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(portName[i])))
                digits = false;
            else
                n = n * 10 + static_cast<unsigned long>(portName[i] - '0');
        }
        if (digits && n >= 1)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    return std::string(portName);
}

std::string resolvePortDevice(std::string_view portName)
{
    return resolvePortDevice(portName, Registry::fromEnvironment());
}

std::unique_ptr<Line> makeTargetLine(const std::string& target, const SerialSettings& settings)
{
    if (!isNetworkTarget(target))
        return std::make_unique<PosixSerialLine>(target, settings);
    std::string why;
    if (auto address = parseNetworkAddress(target, &why))
        return std::make_unique<TcpLine>(std::move(*address), settings);
    return std::make_unique<UnusableLine>(why);
}

LineFactory posixLineFactory()
{
    return [](std::string_view portName, const SerialSettings& settings) -> std::unique_ptr<Line> {
        return std::make_unique<PortLine>(std::string(portName), settings);
    };
}
