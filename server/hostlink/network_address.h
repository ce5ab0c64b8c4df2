// Port targets that are not local devices: a serial device server reached over TCP.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct NetworkAddress {
    enum class Kind {
        Tcp,      // tcp://HOST:PORT — raw bytes; the line settings are the device server's own
        Rfc2217,  // rfc2217://HOST:PORT — Telnet with COM port control; we set the line
        Listen,   // tcp-listen://ADDR:PORT — the device server calls in
    };
    Kind kind = Kind::Tcp;
    std::string host;      // a name or an address, without IPv6 brackets
    std::uint16_t port = 0;
    std::string from;      // tcp-listen only: the one peer let in ("?from=HOST"); empty: any

    // The target as written: "tcp://[::1]:4001".
    std::string text() const;
};

// True when target names a network line (it carries a "scheme://").
bool isNetworkTarget(std::string_view target);

// Parses "tcp://HOST:PORT", "rfc2217://HOST:PORT" or "tcp-listen://ADDR:PORT[?from=HOST]".
// HOST is a name, an IPv4 address, or an IPv6 address in brackets; PORT is 1 to 65535.
// On failure returns nothing and sets *why.
std::optional<NetworkAddress> parseNetworkAddress(std::string_view target, std::string* why);
