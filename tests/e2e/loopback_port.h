// A free TCP port on loopback, for a test's own servers (ser2net, socat, a device server).
#pragma once

#include <cstdint>

// A port on 127.0.0.1 that nothing listens on at the moment.
std::uint16_t freeLoopbackPort();
