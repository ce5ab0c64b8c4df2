#include "server/hostlink/network_address.h"

#include <cctype>

namespace {

constexpr std::string_view kSeparator = "://";

std::string_view schemeText(NetworkAddress::Kind kind)
{
    switch (kind) {
    case NetworkAddress::Kind::Tcp: return "tcp";
    case NetworkAddress::Kind::Rfc2217: return "rfc2217";
    case NetworkAddress::Kind::Listen: return "tcp-listen";
    }
    return "tcp";
}

bool hostCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

} // namespace

std::string NetworkAddress::text() const
{
    std::string t(schemeText(kind));
    t += "://";
    t += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    t += ":" + std::to_string(port);
    if (!from.empty())
        t += "?from=" + (from.find(':') != std::string::npos ? "[" + from + "]" : from);
    return t;
}

bool isNetworkTarget(std::string_view target)
{
    return target.find(kSeparator) != std::string_view::npos;
}

std::optional<NetworkAddress> parseNetworkAddress(std::string_view target, std::string* why)
{
    auto fail = [&](const std::string& reason) -> std::optional<NetworkAddress> {
        if (why)
            *why = std::string(target) + ": " + reason;
        return std::nullopt;
    };
    const auto sep = target.find(kSeparator);
    if (sep == std::string_view::npos)
        return fail("not a network address (tcp://, rfc2217:// or tcp-listen://)");
    NetworkAddress a;
    const std::string_view scheme = target.substr(0, sep);
    if (scheme == "tcp")
        a.kind = NetworkAddress::Kind::Tcp;
    else if (scheme == "rfc2217")
        a.kind = NetworkAddress::Kind::Rfc2217;
    else if (scheme == "tcp-listen")
        a.kind = NetworkAddress::Kind::Listen;
    else
        return fail("unknown scheme \"" + std::string(scheme) + "\" (tcp, rfc2217 or tcp-listen)");

    std::string_view rest = target.substr(sep + kSeparator.size());
    if (const auto q = rest.find('?'); q != std::string_view::npos) {
        const std::string_view query = rest.substr(q + 1);
        rest = rest.substr(0, q);
        constexpr std::string_view kFrom = "from=";
        if (a.kind != NetworkAddress::Kind::Listen || query.substr(0, kFrom.size()) != kFrom)
            return fail("unknown option \"" + std::string(query) + "\"");
        a.from = std::string(query.substr(kFrom.size()));
        if (a.from.size() > 2 && a.from.front() == '[' && a.from.back() == ']')
            a.from = a.from.substr(1, a.from.size() - 2);
        if (a.from.empty() || a.from.size() > 253 ||
            a.from.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.-_:%") !=
                std::string::npos)
            return fail("from= takes a host");
    }
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            return fail("an IPv6 address ends with ']'");
        a.host = std::string(rest.substr(1, close - 1));
        // An address, with an interface after '%' for a link-local one.
        const auto zone = a.host.find('%');
        const std::string address = a.host.substr(0, zone);
        bool valid = !address.empty() && address.find(':') != std::string::npos &&
                     address.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos;
        if (zone != std::string::npos) {
            valid = valid && zone + 1 < a.host.size();
            for (std::size_t i = zone + 1; i < a.host.size(); ++i)
                valid = valid && hostCharacter(a.host[i]);
        }
        if (!valid)
            return fail("not an IPv6 address: [" + a.host + "]");
        if (close + 1 >= rest.size() || rest[close + 1] != ':')
            return fail("the address needs :PORT");
        port = rest.substr(close + 2);
    } else {
        const auto colon = rest.rfind(':');
        if (colon == std::string_view::npos)
            return fail("the address needs :PORT");
        a.host = std::string(rest.substr(0, colon));
        port = rest.substr(colon + 1);
        if (a.host.empty())
            return fail("the address needs a host");
        for (char c : a.host)
            if (!hostCharacter(c))
                return fail("not a host name: " + a.host + " (an IPv6 address goes in brackets)");
    }
    if (a.host.size() > 253)
        return fail("the host name is too long");
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos)
        return fail("the port is a number from 1 to 65535");
    const unsigned long n = std::stoul(std::string(port));
    if (n < 1 || n > 65535)
        return fail("the port is a number from 1 to 65535");
    a.port = static_cast<std::uint16_t>(n);
    return a;
}
