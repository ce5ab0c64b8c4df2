// Configured port names ("COM3") and the devices behind them.
#pragma once

#include <string>
#include <string_view>

#include "server/hostlink/line.h"

class Registry;

// Registry key whose values map a port name to a device path or a network line
// (tcp://HOST:PORT, rfc2217://HOST:PORT, tcp-listen://ADDR:PORT).
inline constexpr std::string_view kPortsKey = "SOFTWARE\\MOLVAutomation\\Vorlask\\Ports";

// The value <name> of kPortsKey when present and not empty; else "COMn" (any case, n >= 1)
// means /dev/ttyS<n-1>; any other name is taken as a device path as it stands.
std::string resolvePortDevice(std::string_view portName, const Registry& registry);
// The same through the registry at $MOLV_REGISTRY_ROOT (or its default root).
std::string resolvePortDevice(std::string_view portName);

// The line a resolved target names: a TcpLine for a network address, else a PosixSerialLine.
// A malformed network address gives a line that never opens and says why.
std::unique_ptr<Line> makeTargetLine(const std::string& target, const SerialSettings& settings);

// The server's factory: the line behind the resolved name. The name is resolved at each open,
// so a mapping changed while the server runs applies at the next reopen.
LineFactory posixLineFactory();
