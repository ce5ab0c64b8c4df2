// Configured port names ("COM3") and the devices behind them.
#pragma once

#include <string>
#include <string_view>

#include "server/hostlink/line.h"

class Registry;

// Registry key whose values map a port name to a device path.
inline constexpr std::string_view kPortsKey = "SOFTWARE\\MOLVAutomation\\Vorlask\\Ports";

// The value <name> of kPortsKey when present and not empty; else "COMn" (any case, n >= 1)
// means /dev/ttyS<n-1>; any other name is taken as a device path as it stands.
std::string resolvePortDevice(std::string_view portName, const Registry& registry);
// The same through the registry at $MOLV_REGISTRY_ROOT (or its default root).
std::string resolvePortDevice(std::string_view portName);

// The server's factory: a PosixSerialLine on the resolved device. The name is resolved at each
// open, so a mapping changed while the server runs applies at the next reopen.
LineFactory posixLineFactory();
