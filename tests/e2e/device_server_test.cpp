// PLCs behind serial device servers, against the real server: Debian's ser2net in front of
// simulated PLCs (raw TCP and RFC 2217), socat as a device server that calls in, and a
// device server that is not there. All of it on loopback.
#include "tests/e2e/loopback_port.h"
#include "tests/e2e/server_world.h"

#include "server/polling/message_catalog.h"
#include "tools/plcsim/plc_simulator.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char kSer2net[] = "/usr/sbin/ser2net";
const char kSocat[] = "/usr/bin/socat";

class DeviceServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        catalog_.load(sourceDir() / "server/data/Vorlask.dat");
        ASSERT_TRUE(fs::exists(kSer2net) && fs::exists(kSocat)) << "scripts/install-deps installs ser2net and socat";
    }
    void TearDown() override
    {
        for (auto& s : sims_)
            s->stop();
    }

    PlcSimulator& simulator(const std::string& link, std::uint16_t value)
    {
        PlcSimulator::Options o;
        o.units = {0};
        o.linkPath = (w_.dir() / link).string();
        sims_.push_back(std::make_unique<PlcSimulator>(o));
        EXPECT_TRUE(sims_.back()->setWords(0, MemoryArea::DM, 100, {value}));
        std::string why;
        EXPECT_TRUE(sims_.back()->start(&why)) << why;
        return *sims_.back();
    }
    // ser2net with its own configuration; the pid file stays in the test's folder.
    std::unique_ptr<ChildProcess> ser2net(const std::string& yaml)
    {
        std::ofstream(w_.dir() / "ser2net.yaml") << yaml;
        return w_.helper("ser2net", {kSer2net, "-n", "-u", "-c", (w_.dir() / "ser2net.yaml").string(), "-P",
                                     (w_.dir() / "ser2net.pid").string()});
    }
    std::string text(int result) const { return catalog_.textFor(static_cast<std::uint32_t>(result)); }

    ServerWorld w_{"device-server"};
    MessageCatalog catalog_;
    std::vector<std::unique_ptr<PlcSimulator>> sims_;
};

TEST_F(DeviceServer, Ser2netCarriesRawAndRfc2217LinesThroughItsRestart)
{
    simulator("raw-line", 11);
    PlcSimulator& telnet = simulator("telnet-line", 22);
    const std::uint16_t rawPort = freeLoopbackPort(), telnetPort = freeLoopbackPort();
    // The telnet line's own settings differ from the PLC's: the gateway must set them.
    const std::string yaml =
        "connection: &raw\n  accepter: tcp,127.0.0.1," + std::to_string(rawPort) +
        "\n  connector: serialdev," + (w_.dir() / "raw-line").string() + ",9600e72,local\n"
        "  options:\n    kickolduser: true\n"
        "connection: &telnet\n  accepter: telnet(rfc2217),tcp,127.0.0.1," + std::to_string(telnetPort) +
        "\n  connector: serialdev," + (w_.dir() / "telnet-line").string() + ",9600n81,local\n"
        "  options:\n    kickolduser: true\n";
    auto device = ser2net(yaml);
    ASSERT_TRUE(w_.waitFor([&] { return runProcess({kSocat, "-u", "/dev/null", "TCP:127.0.0.1:" + std::to_string(telnetPort)},
                                                w_.env(), w_.dir()).exitCode == 0; }))
        << device->err();
    w_.start(ServerWorld::plc("Raw", 0, "COM1", ServerWorld::k9600) +
                    ServerWorld::plc("Telnet", 0, "COM2", R"(baudrate="19200" stopbits="2" databits="7" parity="ODD")"),
                {{"COM1", "tcp://127.0.0.1:" + std::to_string(rawPort)},
                 {"COM2", "rfc2217://localhost:" + std::to_string(telnetPort)}},
                {"Raw.Types.D", "Telnet.Types.D"});

    const std::map<std::string, std::string> good = {{"Raw.Types.D", "11 0xC0"}, {"Telnet.Types.D", "22 0xC0"}};
    ASSERT_TRUE(w_.waitFor([&] { return w_.shows(good); })) << w_.server().err() << device->err();
    // ser2net put the PLC's settings on its port (a pty holds the speed and the stop bits).
    const auto held = telnet.lineSettings();
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(held->baudRate, 19200u);
    EXPECT_EQ(held->stopBits, 2);
    // A client's write goes through the Telnet line.
    EXPECT_EQ(w_.cli({"write", "Telnet.Types.D", "33"}).exitCode, 0);
    EXPECT_EQ(telnet.word(0, MemoryArea::DM, 100), std::optional<std::uint16_t>(33));
    EXPECT_TRUE(w_.lines("Raw").empty() && w_.lines("Telnet").empty()) << w_.server().err();

    // The device server dies: each line goes bad as an unplugged adapter does...
    device->signal(SIGKILL);
    device->wait(5s);
    ASSERT_TRUE(w_.waitFor([&] { return w_.bad("Raw.Types.D") && w_.bad("Telnet.Types.D"); })) << w_.server().err();
    // The transaction that finds the connection gone (1 or 4), then 16 while nothing answers.
    ASSERT_TRUE(w_.waitFor([&] { return w_.lines("Raw").size() == 2 && w_.lines("Telnet").size() == 2; })) << w_.server().err();
    // ...and comes back: the server recovers by itself.
    device = ser2net(yaml);
    ASSERT_TRUE(w_.waitFor([&] { return w_.shows({{"Raw.Types.D", "11 0xC0"}, {"Telnet.Types.D", "33 0xC0"}}); }, 60s))
        << w_.server().err() << device->err();
    for (const std::string name : {"Raw", "Telnet"}) {
        SCOPED_TRACE(name);
        const auto l = w_.lines(name);
        ASSERT_EQ(l.size(), 2u) << w_.server().err();
        EXPECT_TRUE(l[0].find(text(1)) != std::string::npos || l[0].find(text(4)) != std::string::npos) << l[0];
        EXPECT_NE(l[1].find(text(16)), std::string::npos) << l[1];
    }
    EXPECT_EQ(telnet.lineSettings()->baudRate, 19200u) << "the settings are set again on the new connection";
}

TEST_F(DeviceServer, ADeviceServerThatCallsInIsTakenReplacedAndCheckedForItsAddress)
{
    PlcSimulator& sim = simulator("line", 44);
    const std::uint16_t port = freeLoopbackPort();
    const std::string target = "TCP:127.0.0.1:" + std::to_string(port) + ",forever,interval=0.1";
    w_.start(ServerWorld::plc("Called", 0, "COM1", ServerWorld::k9600),
                {{"COM1", "tcp-listen://127.0.0.1:" + std::to_string(port) + "?from=127.0.0.1"}}, {"Called.Types.D"});
    auto first = w_.helper("socat-1", {kSocat, "FILE:" + (w_.dir() / "line").string() + ",rawer", target});
    ASSERT_TRUE(w_.waitFor([&] { return w_.shows({{"Called.Types.D", "44 0xC0"}}); })) << w_.server().err() << first->err();

    // After a power cut the old connection is half-open (stopped here): the device server's new
    // call replaces it.
    first->signal(SIGSTOP);
    auto second = w_.helper("socat-2", {kSocat, "FILE:" + (w_.dir() / "line").string() + ",rawer", target});
    ASSERT_TRUE(sim.setWords(0, MemoryArea::DM, 100, {45}));
    ASSERT_TRUE(w_.waitFor([&] { return w_.shows({{"Called.Types.D", "45 0xC0"}}); })) << w_.server().err();

    // A caller from another address is refused: it gets no command and the line stays.
    const RunResult stranger = runProcess(
        {kSocat, "-T", "2", "-u", "TCP:127.0.0.1:" + std::to_string(port) + ",bind=127.0.0.2", "STDOUT"}, w_.env(), w_.dir());
    EXPECT_EQ(stranger.out, "");
    ASSERT_TRUE(sim.setWords(0, MemoryArea::DM, 100, {46}));
    EXPECT_TRUE(w_.waitFor([&] { return w_.shows({{"Called.Types.D", "46 0xC0"}}); })) << w_.server().err();
    first->signal(SIGCONT);
}

TEST_F(DeviceServer, ADeviceServerThatIsNotThereFailsItsPlcAloneAndQuickly)
{
    PlcSimulator& local = simulator("local-line", 7);
    w_.start(ServerWorld::plc("Local", 0, "COM1", ServerWorld::k9600) + ServerWorld::plc("Away", 1, "COM2", ServerWorld::k9600),
                {{"COM1", (w_.dir() / "local-line").string()}, {"COM2", "tcp://127.0.0.1:" + std::to_string(freeLoopbackPort())}},
                {"Local.Types.D", "Away.Types.D"});
    ASSERT_TRUE(w_.waitFor([&] { return w_.lines("Away").size() == 1; }, 10s)) << w_.server().err();
    EXPECT_NE(w_.lines("Away")[0].find(text(16)), std::string::npos) << w_.lines("Away")[0];
    // The local line goes on at its pace meanwhile.
    const std::uint64_t before = local.counters().commands;
    EXPECT_TRUE(w_.waitFor([&] { return local.counters().commands >= before + 20; }, 10s));
    EXPECT_TRUE(w_.shows({{"Local.Types.D", "7 0xC0"}})) << w_.read({"Local.Types.D"})["Local.Types.D"];
    EXPECT_TRUE(w_.bad("Away.Types.D"));
    EXPECT_EQ(w_.lines("Away").size(), 1u) << "one line for the change, not one per attempt";
    EXPECT_TRUE(w_.lines("Local").empty()) << w_.server().err();
}

} // namespace
