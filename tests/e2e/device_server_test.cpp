// PLCs behind serial device servers, against the real server: Debian's ser2net in front of
// simulated PLCs (raw TCP and RFC 2217), socat as a device server that calls in, and a
// device server that is not there. All of it on loopback.
#include "tests/e2e/app_process.h"

#include "common/registry.h"
#include "server/hostlink/message_catalog.h"
#include "tools/plcsim/plc_simulator.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char kSer2net[] = "/usr/sbin/ser2net";
const char kSocat[] = "/usr/bin/socat";

std::string plc(const std::string& name, int id, const std::string& com, const std::string& line)
{
    return "<PLC name=\"" + name + "\" id=\"" + std::to_string(id) + "\" com=\"" + com + "\" " + line +
           "><tags><Types><tag><name>D</name><comment></comment><channel>DM100</channel>"
           "<datatype>VT_I2/BIN</datatype><accessrights>READWRITE</accessrights></tag></Types></tags></PLC>\n";
}
const std::string k9600 = R"(baudrate="9600" stopbits="2" databits="7" parity="EVEN")";

// A TCP port that nothing on loopback listens on at the moment.
std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

class DeviceServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("device-server-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        socket_ = (dir_ / "door" / "v.sock").string();
        env_ = {{"MOLV_REGISTRY_ROOT", (dir_ / "registry").string()},
                {"VORLASK_SOCKET", ""},
                {"VORLASK_HEADLESS", ""},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""}};
        catalog_.load(sourceDir() / "server/data/Vorlask.dat");
        ASSERT_TRUE(fs::exists(kSer2net) && fs::exists(kSocat)) << "scripts/install-deps installs ser2net and socat";
    }
    void TearDown() override
    {
        watch_.reset();
        server_.reset();
        for (auto& s : sims_)
            s->stop();
        fs::remove_all(dir_);
    }

    PlcSimulator& simulator(const std::string& link, std::uint16_t value)
    {
        PlcSimulator::Options o;
        o.units = {0};
        o.linkPath = (dir_ / link).string();
        sims_.push_back(std::make_unique<PlcSimulator>(o));
        EXPECT_TRUE(sims_.back()->setWords(0, MemoryArea::DM, 100, {value}));
        std::string why;
        EXPECT_TRUE(sims_.back()->start(&why)) << why;
        return *sims_.back();
    }
    std::unique_ptr<ChildProcess> helper(const std::string& name, const std::vector<std::string>& argv)
    {
        const fs::path out = dir_ / name;
        fs::create_directories(out);
        return std::make_unique<ChildProcess>(argv, env_, out);
    }
    // ser2net with its own configuration; the pid file and locks stay in the test's folder.
    std::unique_ptr<ChildProcess> ser2net(const std::string& yaml)
    {
        std::ofstream(dir_ / "ser2net.yaml") << yaml;
        return helper("ser2net", {kSer2net, "-n", "-u", "-c", (dir_ / "ser2net.yaml").string(), "-P",
                                  (dir_ / "ser2net.pid").string()});
    }
    // The server on plcs, with a client that keeps the items polled.
    void startServer(const std::string& plcs, const std::map<std::string, std::string>& ports,
                     const std::vector<std::string>& watched)
    {
        Registry registry(dir_ / "registry");
        for (const auto& [name, target] : ports)
            registry.writeString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", name, target);
        std::ofstream(dir_ / "plant.xml", std::ios::binary)
            << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<MOLVOmronHLCfg><OPC_DA>\n" << plcs
            << "</OPC_DA></MOLVOmronHLCfg>\n";
        registry.writeString("SOFTWARE\\MOLVAutomation\\Vorlask", "ConfigFile", (dir_ / "plant.xml").string());
        server_ = helper("server", {(binDir() / "vorlask").string(), "--socket", socket_});
        ASSERT_TRUE(waitForSocketFile(socket_, 10s)) << server_->err();
        std::vector<std::string> argv = {(binDir() / "vorlask-cli").string(), "--socket", socket_, "watch", "--rate", "100"};
        argv.insert(argv.end(), watched.begin(), watched.end());
        watch_ = helper("watch", argv);
    }

    // Message lines of one PLC so far (standard error of the headless server).
    std::vector<std::string> lines(const std::string& name) const
    {
        std::vector<std::string> out;
        std::istringstream in(server_->err());
        for (std::string l; std::getline(in, l);)
            if (l.rfind(name + ": ", 0) == 0)
                out.push_back(l);
        return out;
    }
    // Item -> "value quality" as vorlask-cli reads it.
    std::map<std::string, std::string> read(const std::vector<std::string>& items)
    {
        std::vector<std::string> argv = {(binDir() / "vorlask-cli").string(), "--socket", socket_, "read"};
        argv.insert(argv.end(), items.begin(), items.end());
        const RunResult r = runProcess(argv, env_, dir_);
        std::map<std::string, std::string> out;
        std::istringstream in(r.out);
        for (std::string l; std::getline(in, l);) {
            const auto a = l.find('\t'), b = l.rfind('\t');
            if (a != std::string::npos && b > a)
                out[l.substr(0, a)] = l.substr(a + 1, b - a - 1) + " " + l.substr(b + 1);
        }
        return out;
    }
    bool shows(const std::map<std::string, std::string>& wanted)
    {
        std::vector<std::string> items;
        for (const auto& w : wanted)
            items.push_back(w.first);
        return read(items) == wanted;
    }
    bool bad(const std::string& item) { return read({item})[item].find(" 0xC0") == std::string::npos; }
    static bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = 30s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }
    std::string text(int result) const { return catalog_.textFor(static_cast<std::uint32_t>(result)); }

    fs::path dir_;
    std::string socket_;
    std::map<std::string, std::string> env_;
    MessageCatalog catalog_;
    std::vector<std::unique_ptr<PlcSimulator>> sims_;
    std::unique_ptr<ChildProcess> server_, watch_;
};

TEST_F(DeviceServer, Ser2netCarriesRawAndRfc2217LinesThroughItsRestart)
{
    simulator("raw-line", 11);
    PlcSimulator& telnet = simulator("telnet-line", 22);
    const std::uint16_t rawPort = freePort(), telnetPort = freePort();
    // The telnet line's own settings differ from the PLC's: the gateway must set them.
    const std::string yaml =
        "connection: &raw\n  accepter: tcp,127.0.0.1," + std::to_string(rawPort) +
        "\n  connector: serialdev," + (dir_ / "raw-line").string() + ",9600e72,local\n"
        "  options:\n    kickolduser: true\n"
        "connection: &telnet\n  accepter: telnet(rfc2217),tcp,127.0.0.1," + std::to_string(telnetPort) +
        "\n  connector: serialdev," + (dir_ / "telnet-line").string() + ",9600n81,local\n"
        "  options:\n    kickolduser: true\n";
    auto device = ser2net(yaml);
    ASSERT_TRUE(waitFor([&] { return runProcess({kSocat, "-u", "/dev/null", "TCP:127.0.0.1:" + std::to_string(telnetPort)},
                                                env_, dir_).exitCode == 0; }))
        << device->err();
    startServer(plc("Raw", 0, "COM1", k9600) +
                    plc("Telnet", 0, "COM2", R"(baudrate="19200" stopbits="2" databits="7" parity="ODD")"),
                {{"COM1", "tcp://127.0.0.1:" + std::to_string(rawPort)},
                 {"COM2", "rfc2217://localhost:" + std::to_string(telnetPort)}},
                {"Raw.Types.D", "Telnet.Types.D"});

    const std::map<std::string, std::string> good = {{"Raw.Types.D", "11 0xC0"}, {"Telnet.Types.D", "22 0xC0"}};
    ASSERT_TRUE(waitFor([&] { return shows(good); })) << server_->err() << device->err();
    // ser2net put the PLC's settings on its port (a pty holds the speed and the stop bits).
    const auto held = telnet.lineSettings();
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(held->baudRate, 19200u);
    EXPECT_EQ(held->stopBits, 2);
    // A client's write goes through the Telnet line.
    EXPECT_EQ(runProcess({(binDir() / "vorlask-cli").string(), "--socket", socket_, "write", "Telnet.Types.D", "33"},
                         env_, dir_).exitCode, 0);
    EXPECT_EQ(telnet.word(0, MemoryArea::DM, 100), std::optional<std::uint16_t>(33));
    EXPECT_TRUE(lines("Raw").empty() && lines("Telnet").empty()) << server_->err();

    // The device server dies: each line goes bad as an unplugged adapter does...
    device->signal(SIGKILL);
    device->wait(5s);
    ASSERT_TRUE(waitFor([&] { return bad("Raw.Types.D") && bad("Telnet.Types.D"); })) << server_->err();
    // The transaction that finds the connection gone (1 or 4), then 16 while nothing answers.
    ASSERT_TRUE(waitFor([&] { return lines("Raw").size() == 2 && lines("Telnet").size() == 2; })) << server_->err();
    // ...and comes back: the server recovers by itself.
    device = ser2net(yaml);
    ASSERT_TRUE(waitFor([&] { return shows({{"Raw.Types.D", "11 0xC0"}, {"Telnet.Types.D", "33 0xC0"}}); }, 60s))
        << server_->err() << device->err();
    for (const std::string name : {"Raw", "Telnet"}) {
        SCOPED_TRACE(name);
        const auto l = lines(name);
        ASSERT_EQ(l.size(), 2u) << server_->err();
        EXPECT_TRUE(l[0].find(text(1)) != std::string::npos || l[0].find(text(4)) != std::string::npos) << l[0];
        EXPECT_NE(l[1].find(text(16)), std::string::npos) << l[1];
    }
    EXPECT_EQ(telnet.lineSettings()->baudRate, 19200u) << "the settings are set again on the new connection";
}

TEST_F(DeviceServer, ADeviceServerThatCallsInIsTakenReplacedAndCheckedForItsAddress)
{
    PlcSimulator& sim = simulator("line", 44);
    const std::uint16_t port = freePort();
    const std::string target = "TCP:127.0.0.1:" + std::to_string(port) + ",forever,interval=0.1";
    startServer(plc("Called", 0, "COM1", k9600),
                {{"COM1", "tcp-listen://127.0.0.1:" + std::to_string(port) + "?from=127.0.0.1"}}, {"Called.Types.D"});
    auto first = helper("socat-1", {kSocat, "FILE:" + (dir_ / "line").string() + ",rawer", target});
    ASSERT_TRUE(waitFor([&] { return shows({{"Called.Types.D", "44 0xC0"}}); })) << server_->err() << first->err();

    // After a power cut the old connection is half-open (stopped here): the device server's new
    // call replaces it.
    first->signal(SIGSTOP);
    auto second = helper("socat-2", {kSocat, "FILE:" + (dir_ / "line").string() + ",rawer", target});
    ASSERT_TRUE(sim.setWords(0, MemoryArea::DM, 100, {45}));
    ASSERT_TRUE(waitFor([&] { return shows({{"Called.Types.D", "45 0xC0"}}); })) << server_->err();

    // A caller from another address is refused: it gets no command and the line stays.
    const RunResult stranger = runProcess(
        {kSocat, "-T", "2", "-u", "TCP:127.0.0.1:" + std::to_string(port) + ",bind=127.0.0.2", "STDOUT"}, env_, dir_);
    EXPECT_EQ(stranger.out, "");
    ASSERT_TRUE(sim.setWords(0, MemoryArea::DM, 100, {46}));
    EXPECT_TRUE(waitFor([&] { return shows({{"Called.Types.D", "46 0xC0"}}); })) << server_->err();
    first->signal(SIGCONT);
}

TEST_F(DeviceServer, ADeviceServerThatIsNotThereFailsItsPlcAloneAndQuickly)
{
    PlcSimulator& local = simulator("local-line", 7);
    startServer(plc("Local", 0, "COM1", k9600) + plc("Away", 1, "COM2", k9600),
                {{"COM1", (dir_ / "local-line").string()}, {"COM2", "tcp://127.0.0.1:" + std::to_string(freePort())}},
                {"Local.Types.D", "Away.Types.D"});
    ASSERT_TRUE(waitFor([&] { return lines("Away").size() == 1; }, 10s)) << server_->err();
    EXPECT_NE(lines("Away")[0].find(text(16)), std::string::npos) << lines("Away")[0];
    // The local line goes on at its pace meanwhile.
    const std::uint64_t before = local.counters().commands;
    EXPECT_TRUE(waitFor([&] { return local.counters().commands >= before + 20; }, 10s));
    EXPECT_TRUE(shows({{"Local.Types.D", "7 0xC0"}})) << read({"Local.Types.D"})["Local.Types.D"];
    EXPECT_TRUE(bad("Away.Types.D"));
    EXPECT_EQ(lines("Away").size(), 1u) << "one line for the change, not one per attempt";
    EXPECT_TRUE(lines("Local").empty()) << server_->err();
}

} // namespace
