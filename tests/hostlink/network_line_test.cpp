// Lines over TCP: the target strings, the Telnet decoder, and the connect back-off.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/hostlink/network_address.h"
#include "server/hostlink/tcp_line.h"
#include "server/hostlink/telnet_session.h"

namespace {

TEST(NetworkAddress, ParsesTheThreeSchemesAndRefusesTheRest)
{
    struct Case {
        const char* text;
        bool ok;
        NetworkAddress::Kind kind;
        const char* host;
        std::uint16_t port;
        const char* from;
    };
    using K = NetworkAddress::Kind;
    const Case cases[] = {
        {"tcp://10.0.0.5:4001", true, K::Tcp, "10.0.0.5", 4001, ""},
        {"rfc2217://ds-hall3.plant:2001", true, K::Rfc2217, "ds-hall3.plant", 2001, ""},
        {"tcp-listen://[::]:7000", true, K::Listen, "::", 7000, ""},
        {"tcp://[fe80::1%eth0]:1", true, K::Tcp, "fe80::1%eth0", 1, ""},
        {"tcp-listen://0.0.0.0:65535?from=10.0.0.9", true, K::Listen, "0.0.0.0", 65535, "10.0.0.9"},
        {"tcp://host", false, K::Tcp, "", 0, ""},
        {"tcp://host:0", false, K::Tcp, "", 0, ""},
        {"tcp://host:65536", false, K::Tcp, "", 0, ""},
        {"tcp://host:12a", false, K::Tcp, "", 0, ""},
        {"tcp://:4001", false, K::Tcp, "", 0, ""},
        {"tcp://::1:4001", false, K::Tcp, "", 0, ""},
        {"tcp://[::1:4001", false, K::Tcp, "", 0, ""},
        {"tcp://[::1]4001", false, K::Tcp, "", 0, ""},
        {"tcp://a b:1", false, K::Tcp, "", 0, ""},
        {"udp://host:1", false, K::Tcp, "", 0, ""},
        {"tcp://host:1?from=x", false, K::Tcp, "", 0, ""},
        {"tcp-listen://host:1?from=", false, K::Tcp, "", 0, ""},
        {"/dev/ttyS0", false, K::Tcp, "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string why;
        const auto a = parseNetworkAddress(c.text, &why);
        ASSERT_EQ(a.has_value(), c.ok) << why;
        if (!c.ok) {
            EXPECT_EQ(why.rfind(std::string(c.text) + ": ", 0), 0u) << why;
            continue;
        }
        EXPECT_EQ(a->kind, c.kind);
        EXPECT_EQ(a->host, c.host);
        EXPECT_EQ(a->port, c.port);
        EXPECT_EQ(a->from, c.from);
        EXPECT_EQ(a->text(), c.text); // written back as given
    }
    EXPECT_TRUE(isNetworkTarget("rfc2217://h:1"));
    EXPECT_FALSE(isNetworkTarget("/dev/ttyUSB0"));
}

std::string bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int c : b)
        s += static_cast<char>(c);
    return s;
}

TEST(TelnetSession, KeepsNegotiationOutOfTheDataAndAnswersEachOptionOnce)
{
    constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
    struct Case {
        const char* name;
        std::string in;
        std::string data;
        std::string answers;
    };
    const Case cases[] = {
        {"plain frame", "@00RD0000000157*\r", "@00RD0000000157*\r", ""},
        {"escaped 255", bytes({'a', IAC, IAC, 'b'}), bytes({'a', 255, 'b'}), ""},
        {"acknowledged requests get no answer", bytes({IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3}), "", ""},
        {"unknown option refused once", bytes({IAC, DO, 1, IAC, DO, 1, IAC, WILL, 1, IAC, WILL, 1}), "",
         bytes({IAC, WONT, 1, IAC, DONT, 1})},
        {"NOP and go-ahead carry nothing", bytes({'x', IAC, 241, IAC, 249, 'y'}), "xy", ""},
        {"CR NUL once the peer leaves binary", bytes({IAC, WONT, 0, 'a', '\r', 0, 'b'}), "a\rb", ""},
        {"CR NUL kept in binary", bytes({IAC, WILL, 0, '\r', 0}), bytes({'\r', 0}), ""},
        {"overlong subnegotiation dropped", std::string(bytes({IAC, SB, 44, 101})) + std::string(200, 'z') +
                                                bytes({IAC, SE, 'k'}),
         "k", ""},
        {"bad end of subnegotiation", bytes({IAC, SB, 44, 1, IAC, 'q', 'r'}), "r", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Whole and byte by byte: the decoder keeps its state across reads.
        for (bool split : {false, true}) {
            TelnetSession t;
            t.opening(nullptr);
            std::string data, answers;
            const auto* p = reinterpret_cast<const std::uint8_t*>(c.in.data());
            if (split) {
                for (std::size_t i = 0; i < c.in.size(); ++i)
                    t.receive(p + i, 1, data, answers);
            } else {
                t.receive(p, c.in.size(), data, answers);
            }
            EXPECT_EQ(data, c.data);
            EXPECT_EQ(answers, c.answers);
        }
    }
}

TEST(TelnetSession, AsksForThePlcsLineSettingsAndReadsTheReport)
{
    constexpr int IAC = 255, DONT = 254, SB = 250, SE = 240;
    TelnetSession t;
    SerialSettings s;
    s.baudRate = 19200;
    s.parity = kOddParity;
    s.dataBits = 7;
    s.stopBits = kTwoStopBits;
    const std::string opening = t.opening(&s);
    // 19200 = 0x00004B00; no 255 in it, so nothing is doubled.
    EXPECT_NE(opening.find(bytes({IAC, SB, 44, 1, 0, 0, 0x4B, 0, IAC, SE})), std::string::npos);
    EXPECT_NE(opening.find(bytes({IAC, SB, 44, 3, 2, IAC, SE})), std::string::npos);
    const std::string report = bytes({IAC, SB, 44, 101, 0, 0, 0x4B, 0, IAC, SE, IAC, SB, 44, 102, 7, IAC, SE,
                                      IAC, SB, 44, 103, 2, IAC, SE, IAC, SB, 44, 104, 2, IAC, SE});
    std::string data, answers;
    t.receive(reinterpret_cast<const std::uint8_t*>(report.data()), report.size(), data, answers);
    ASSERT_TRUE(t.report().complete());
    EXPECT_EQ(*t.report().baudRate, 19200u);
    EXPECT_EQ(*t.report().parity, 2);
    EXPECT_TRUE(data.empty());
    EXPECT_FALSE(t.comPortRefused());
    const std::string refusal = bytes({IAC, DONT, 44});
    t.receive(reinterpret_cast<const std::uint8_t*>(refusal.data()), refusal.size(), data, answers);
    EXPECT_TRUE(t.comPortRefused());

    std::string escaped;
    const std::uint8_t raw[] = {'a', 255, 'b'};
    TelnetSession::escape(raw, sizeof raw, escaped);
    EXPECT_EQ(escaped, bytes({'a', 255, 255, 'b'}));
}

TEST(TcpLine, WaitsOutItsBackOffUnlessAWriteAsks)
{
    // A port on loopback with nothing behind it yet.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const std::uint16_t port = ntohs(a.sin_port);

    NetworkAddress address;
    address.host = "127.0.0.1";
    address.port = port;
    TcpLine line(address, SerialSettings{});
    EXPECT_FALSE(line.open());
    EXPECT_NE(line.lastError().find("Connection refused"), std::string::npos) << line.lastError();
    // The device server is back within the back-off: a poll waits, a client's write does not.
    ASSERT_EQ(::listen(listener, 1), 0);
    EXPECT_FALSE(line.open());
    line.tryAtOnce();
    EXPECT_TRUE(line.open()) << line.lastError();

    // The peer closing is the line gone.
    const int peer = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    ::close(peer);
    std::uint8_t buffer[8];
    std::size_t got = 0;
    EXPECT_EQ(line.read(buffer, sizeof buffer, 2000, &got), LineStatus::Gone);
    ::close(listener);
}

} // namespace
