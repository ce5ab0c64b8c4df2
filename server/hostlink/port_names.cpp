#include "server/hostlink/port_names.h"

#include <cctype>

#include "common/registry.h"
#include "server/hostlink/serial_port_posix.h"

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

LineFactory posixLineFactory()
{
    return [](std::string_view portName, const SerialSettings& settings) -> std::unique_ptr<Line> {
        std::string name(portName);
        return std::make_unique<PosixSerialLine>(
            [name] { return resolvePortDevice(name); }, settings);
    };
}
