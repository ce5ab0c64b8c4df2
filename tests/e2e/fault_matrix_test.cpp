// Every kind of line fault against the real server and a simulated PLC: the qualities it leaves
// on the PLC's tags, the one message line it writes, and recovery at the next due read.
#include "tests/e2e/app_process.h"

#include "common/registry.h"
#include "server/polling/message_catalog.h"
#include "tools/plcsim/plc_simulator.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kConfig = R"(<?xml version="1.0" encoding="ISO-8859-1"?>
<MOLVOmronHLCfg><OPC_DA>
<PLC name="Cell" id="0" com="COM1" baudrate="9600" stopbits="2" databits="7" parity="EVEN"><tags><Types>
<tag><name>D</name><comment></comment><channel>DM100</channel><datatype>VT_I2/BIN</datatype><accessrights>READWRITE</accessrights></tag>
<tag><name>H</name><comment></comment><channel>HR5</channel><datatype>VT_I2/BIN</datatype><accessrights>READWRITE</accessrights></tag>
</Types></tags></PLC>
<PLC name="Lost" id="1" com="COM2" baudrate="9600" stopbits="2" databits="7" parity="EVEN"><tags><Types>
<tag><name>L</name><comment></comment><channel>DM0</channel><datatype>VT_I2/BIN</datatype><accessrights>READWRITE</accessrights></tag>
</Types></tags></PLC>
</OPC_DA></MOLVOmronHLCfg>
)";

struct FaultCase {
    const char* name;
    const char* command;       // the commands it strikes: "RD" the DM block only, "*" every one
    SimFault fault;
    std::vector<int> results;  // the message lines it writes, by result, in order
    std::uint16_t dQuality;    // then on Cell.Types.D (DM block); 0: not looked at
    std::uint16_t hQuality;    // and on Cell.Types.H (HR block)
};

// Line failures strike every command, so the whole PLC stays down while the fault lasts; end
// codes strike the DM block alone, whose neighbour must keep good values.
const std::vector<FaultCase>& faultCases()
{
    static const std::vector<FaultCase> cases = {
        {"silence", "*", {SimFaultKind::Silence, 0, -1}, {4}, 0x18, 0x18},
        {"mid-frame stop", "*", {SimFaultKind::CutMidFrame, 0, -1}, {48}, 0x18, 0x18},
        {"bad FCS", "*", {SimFaultKind::BadFcs, 0, -1}, {49}, 0x18, 0x18},
        {"garbled first byte", "*", {SimFaultKind::GarbledFirstByte, 0, -1}, {48}, 0x18, 0x18},
        {"no terminator", "*", {SimFaultKind::MissingTerminator, 0, -1}, {48}, 0x18, 0x18},
        {"512 bytes without CR", "*", {SimFaultKind::Flood, 0, -1}, {48}, 0x18, 0x18},
        {"dribbled bytes (slow but whole)", "*", {SimFaultKind::Dribble, 60, -1}, {}, 0xC0, 0xC0},
        {"end code 01", "RD", {SimFaultKind::EndCode, 0x01, -1}, {70}, 0x0C, 0xC0},
        {"end code 02", "RD", {SimFaultKind::EndCode, 0x02, -1}, {71}, 0x0C, 0xC0},
        {"end code 04", "RD", {SimFaultKind::EndCode, 0x04, -1}, {65}, 0x1C, 0xC0},
        {"end code 0B", "RD", {SimFaultKind::EndCode, 0x0B, -1}, {72}, 0x0C, 0xC0},
        {"end code 13", "*", {SimFaultKind::EndCode, 0x13, -1}, {49}, 0x18, 0x18},
        {"end code 15", "RD", {SimFaultKind::EndCode, 0x15, -1}, {68}, 0x1C, 0xC0},
        {"end code 23", "RD", {SimFaultKind::EndCode, 0x23, -1}, {67}, 0x1C, 0xC0},
        {"end code A3", "*", {SimFaultKind::EndCode, 0xA3, -1}, {49}, 0x18, 0x18},
        {"other end code", "RD", {SimFaultKind::EndCode, 0x16, -1}, {69}, 0x0C, 0xC0},
        // The DM reply comes after the time-out (4), and arrives while the HR block waits for
        // its own answer: refused as a reply to another command (48), never taken as HR's data.
        {"late reply", "RD", {SimFaultKind::Delay, 3000, 1}, {4, 48}, 0, 0},
    };
    return cases;
}

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("fault-matrix-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        socket_ = (dir_ / "door" / "v.sock").string();
        env_ = {{"MOLV_REGISTRY_ROOT", (dir_ / "registry").string()},
                {"VORLASK_SOCKET", ""},
                {"VORLASK_HEADLESS", ""},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""}};
        catalog_.load(sourceDir() / "server/data/Vorlask.dat");
    }
    void TearDown() override
    {
        watch_.reset();
        server_.reset();
        for (auto* s : {&cell_, &second_})
            if (*s)
                (*s)->stop();
        fs::remove_all(dir_);
    }

    // The cell's values are in memory before its line opens: a poll never sees a blank PLC.
    std::unique_ptr<PlcSimulator> simulator(std::uint8_t unit, const fs::path& link)
    {
        PlcSimulator::Options o;
        o.units = {unit};
        o.linkPath = link.string();
        auto sim = std::make_unique<PlcSimulator>(o);
        if (unit == 0) {
            EXPECT_TRUE(sim->setWords(0, MemoryArea::DM, 100, {42}));
            EXPECT_TRUE(sim->setWords(0, MemoryArea::HR, 5, {77}));
        }
        std::string why;
        EXPECT_TRUE(sim->start(&why)) << why;
        sim->setMode(unit, SimMode::Monitor);
        return sim;
    }
    void pointPort(const std::string& name, const fs::path& device)
    {
        Registry(dir_ / "registry").writeString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", name, device.string());
    }

    // Message lines of one PLC so far (standard error of the headless server).
    std::vector<std::string> lines(const std::string& plc) const
    {
        std::vector<std::string> out;
        std::istringstream in(server_->err());
        for (std::string l; std::getline(in, l);)
            if (l.rfind(plc + ": ", 0) == 0)
                out.push_back(l);
        return out;
    }
    std::map<std::string, std::string> qualities(const std::vector<std::string>& items)
    {
        std::vector<std::string> argv = {(binDir() / "vorlask-cli").string(), "--socket", socket_, "read"};
        argv.insert(argv.end(), items.begin(), items.end());
        const RunResult r = runProcess(argv, env_, dir_);
        std::map<std::string, std::string> out;
        std::istringstream in(r.out);
        for (std::string l; std::getline(in, l);) {
            const auto a = l.find('\t'), b = l.rfind('\t');
            if (a != std::string::npos && b > a)
                out[l.substr(0, a)] = l.substr(b + 1);
        }
        return out;
    }
    static std::string hex(std::uint16_t q)
    {
        char t[8];
        std::snprintf(t, sizeof t, "0x%02X", q);
        return t;
    }
    static bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }
    bool cellIsGood()
    {
        auto q = qualities({"Cell.Types.D", "Cell.Types.H"});
        return q["Cell.Types.D"] == "0xC0" && q["Cell.Types.H"] == "0xC0";
    }
    std::string text(int result) const { return catalog_.textFor(static_cast<std::uint32_t>(result)); }

    fs::path dir_;
    std::string socket_;
    std::map<std::string, std::string> env_;
    MessageCatalog catalog_;
    std::unique_ptr<PlcSimulator> cell_, second_;
    std::unique_ptr<ChildProcess> server_, watch_;
};

TEST_F(FaultMatrix, EveryFaultGivesItsQualityOneLineAndRecovers)
{
    const fs::path cellLine = dir_ / "cell-line";
    cell_ = simulator(0, cellLine);
    pointPort("COM1", cellLine);
    pointPort("COM2", dir_ / "no-such-device"); // the port that is missing
    std::ofstream(dir_ / "plant.xml", std::ios::binary) << kConfig;
    Registry(dir_ / "registry").writeString("SOFTWARE\\MOLVAutomation\\Vorlask", "ConfigFile", (dir_ / "plant.xml").string());
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{(binDir() / "vorlask").string(), "--headless", "--socket", socket_}, env_, dir_);
    ASSERT_TRUE(waitForSocketFile(socket_, 10s)) << server_->err();
    // A client keeps every tag polled for the whole run; what it sees is checked at the end.
    const fs::path watchDir = dir_ / "watch";
    fs::create_directories(watchDir);
    watch_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{(binDir() / "vorlask-cli").string(), "--socket", socket_, "watch", "--rate", "200",
                                 "Cell.Types.D", "Cell.Types.H", "Lost.Types.L"},
        env_, watchDir);
    ASSERT_TRUE(waitFor([&] { return cellIsGood(); })) << server_->err();
    ASSERT_TRUE(waitFor([&] { return lines("Lost").size() == 1; })) << server_->err();
    EXPECT_NE(lines("Lost")[0].find(text(16)), std::string::npos) << lines("Lost")[0];
    EXPECT_TRUE(lines("Cell").empty()) << server_->err();

    for (const FaultCase& c : faultCases()) {
        SCOPED_TRACE(c.name);
        const std::size_t before = lines("Cell").size();
        const std::uint64_t repliesBefore = cell_->counters().framesOut;
        cell_->setFault(0, c.command, c.fault);
        if (c.results.empty()) {
            // Nothing to wait for but the simulator answering through the fault a few times.
            ASSERT_TRUE(waitFor([&] { return cell_->counters().framesOut >= repliesBefore + 6; }));
        } else {
            ASSERT_TRUE(waitFor([&] { return lines("Cell").size() >= before + c.results.size(); }))
                << server_->err();
        }
        if (c.dQuality) {
            // The line comes first; a line failure marks the PLC's other tags a moment later.
            std::map<std::string, std::string> q;
            EXPECT_TRUE(waitFor([&] {
                q = qualities({"Cell.Types.D", "Cell.Types.H", "Lost.Types.L"});
                return q["Cell.Types.D"] == hex(c.dQuality) && q["Cell.Types.H"] == hex(c.hQuality);
            })) << "D " << q["Cell.Types.D"] << ", H " << q["Cell.Types.H"];
            EXPECT_EQ(q["Lost.Types.L"], "0x18");
        }
        // The fault lasts through several more scans: still no further line.
        const std::uint64_t commands = cell_->counters().commands;
        if (c.fault.remaining < 0) {
            ASSERT_TRUE(waitFor([&] { return cell_->counters().commands >= commands + 4; }));
        }
        cell_->clearFaults();
        ASSERT_TRUE(waitFor([&] { return cellIsGood(); })) << server_->err();
        const auto now = lines("Cell");
        ASSERT_EQ(now.size(), before + c.results.size()) << server_->err();
        for (std::size_t i = 0; i < c.results.size(); ++i)
            EXPECT_NE(now[before + i].find(text(c.results[i])), std::string::npos)
                << now[before + i] << " is not result " << c.results[i];
    }

    {
        SCOPED_TRACE("the terminal vanishes and returns");
        const std::size_t before = lines("Cell").size();
        cell_->stop();
        // The transaction that finds it gone (1 or 4), then the port that cannot open (16).
        ASSERT_TRUE(waitFor([&] { return lines("Cell").size() >= before + 2; })) << server_->err();
        EXPECT_TRUE(waitFor([&] {
            auto q = qualities({"Cell.Types.D", "Cell.Types.H"});
            return q["Cell.Types.D"] == "0x18" && q["Cell.Types.H"] == "0x18";
        }));
        cell_ = simulator(0, cellLine);
        ASSERT_TRUE(waitFor([&] { return cellIsGood(); })) << server_->err();
        const auto now = lines("Cell");
        ASSERT_EQ(now.size(), before + 2) << server_->err();
        EXPECT_NE(now[before + 1].find(text(16)), std::string::npos) << now[before + 1];
    }
    {
        SCOPED_TRACE("the missing port appears");
        second_ = simulator(1, dir_ / "second-line");
        pointPort("COM2", dir_ / "second-line");
        ASSERT_TRUE(waitFor([&] { return qualities({"Lost.Types.L"})["Lost.Types.L"] == "0xC0"; }))
            << server_->err();
        EXPECT_EQ(lines("Lost").size(), 1u) << server_->err();
    }

    // Through all of it the client never saw a value that was not the tag's own (a bad quality
    // before a tag's first read comes without a value).
    watch_->signal(SIGINT);
    watch_->wait(5s);
    std::istringstream seen(watch_->out());
    int values = 0;
    for (std::string l; std::getline(seen, l);) {
        const auto a = l.find('\t'), b = l.rfind('\t');
        ASSERT_NE(a, std::string::npos) << l;
        const std::string item = l.substr(0, a), value = l.substr(a + 1, b - a - 1);
        if (item == "Cell.Types.D" && !value.empty()) {
            EXPECT_EQ(value, "42") << l;
        } else if (item == "Cell.Types.H" && !value.empty()) {
            EXPECT_EQ(value, "77") << l;
        }
        ++values;
    }
    EXPECT_GT(values, 0);
    server_->signal(SIGTERM);
    EXPECT_EQ(server_->wait(20s), 0) << server_->err();
}

} // namespace
