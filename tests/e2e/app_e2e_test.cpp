// The server and vorlask-cli as the user runs them, against a simulated PLC on a pty.
#include "tests/e2e/app_process.h"

#include "common/registry.h"
#include "tools/cli/door_client.h"
#include "tools/plcsim/plc_simulator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct TagSpec {
    std::string name;
    std::string channel;
    std::string datatype; // type word and suffix
    int bit = 0;
    int elements = 0;
    std::string access = "READWRITE";
};

std::string tagXml(const TagSpec& t)
{
    std::ostringstream x;
    x << "<tag><name>" << t.name << "</name><comment>" << t.name << " comment</comment><channel>" << t.channel
      << "</channel><datatype>" << t.datatype << "</datatype><accessrights>" << t.access << "</accessrights>";
    if (t.datatype.find("VT_BOOL") != std::string::npos)
        x << "<databit>" << t.bit << "</databit>";
    if (t.datatype.find("VT_BSTR") != std::string::npos || t.datatype.find("ARRAY") != std::string::npos)
        x << "<elements>" << t.elements << "</elements>";
    x << "</tag>\n";
    return x.str();
}

std::string plantXml(const std::string& plcName, const std::vector<TagSpec>& tags)
{
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<MOLVOmronHLCfg><OPC_DA>\n"
      << "<PLC name=\"" << plcName << "\" id = \"0\" com=\"COM1\" baudrate = \"9600\" stopbits=\"2\" "
      << "databits=\"7\" parity=\"EVEN\"><tags><Types>\n";
    for (const auto& t : tags)
        x << tagXml(t);
    x << "</Types></tags></PLC>\n</OPC_DA></MOLVOmronHLCfg>\n";
    return x.str();
}

// One row per data type: what the client writes, the words that must land in the PLC, what
// read --device shows, then other words put into the PLC and what watch must show for them.
struct TypeCase {
    TagSpec tag;
    MemoryArea area;
    std::uint16_t address;
    std::string written;
    std::vector<std::uint16_t> words;
    std::string readBack;
    std::vector<std::uint16_t> otherWords;
    std::string otherText;
};

const std::vector<TypeCase>& typeCases()
{
    static const std::vector<TypeCase> cases = {
        {{"I2", "DM100", "VT_I2/BIN"}, MemoryArea::DM, 100, "-1234", {0xFB2E}, "-1234", {0x0007}, "7"},
        {{"UI2", "DM101", "VT_UI2/BIN"}, MemoryArea::DM, 101, "65000", {0xFDE8}, "65000", {0x0001}, "1"},
        {{"UI2Bcd", "DM102", "VT_UI2/BCD"}, MemoryArea::DM, 102, "1234", {0x1234}, "1234", {0x9876}, "9876"},
        {{"I4", "DM104", "VT_I4/BIN"}, MemoryArea::DM, 104, "-100000", {0x7960, 0xFFFE}, "-100000", {0x0001, 0x0001}, "65537"},
        {{"UI4", "DM106", "VT_UI4/BIN"}, MemoryArea::DM, 106, "3000000000", {0x5E00, 0xB2D0}, "3000000000", {0x0002, 0x0000}, "2"},
        {{"UI4Bcd", "DM108", "VT_UI4/BCD"}, MemoryArea::DM, 108, "12345678", {0x5678, 0x1234}, "12345678", {0x0001, 0x9900}, "99000001"},
        {{"R4", "DM110", "VT_R4/BIN"}, MemoryArea::DM, 110, "1.5", {0x0000, 0x3FC0}, "1.5", {0x0000, 0xC120}, "-10"},
        {{"Bool", "IR0", "VT_BOOL/BIN", 3}, MemoryArea::IR, 0, "true", {0x0008}, "true", {0xFFF7}, "false"},
        {{"Str", "DM120", "VT_BSTR/BIN", 0, 4}, MemoryArea::DM, 120, "\"ABCD\"", {0x4142, 0x4344}, "\"ABCD\"", {0x7879, 0x7A00}, "\"xyz\\000\""},
        {{"Flags", "IR10", "VT_BOOL ARRAY/BIN", 0, 4}, MemoryArea::IR, 10, "[true,false,true,true]", {0x000D}, "[true,false,true,true]", {0x0002}, "[false,true,false,false]"},
        {{"Bytes", "DM130", "VT_UI1 ARRAY/BIN", 0, 4}, MemoryArea::DM, 130, "[1,2,3,4]", {0x0201, 0x0403}, "[1,2,3,4]", {0xFF00, 0x0000}, "[0,255,0,0]"},
        {{"SBytes", "DM132", "VT_I1 ARRAY/BIN", 0, 2}, MemoryArea::DM, 132, "[-1,5]", {0x05FF}, "[-1,5]", {0x8001}, "[1,-128]"},
        {{"Words", "DM134", "VT_UI2 ARRAY/BIN", 0, 3}, MemoryArea::DM, 134, "[1,2,65535]", {1, 2, 0xFFFF}, "[1,2,65535]", {3, 2, 1}, "[3,2,1]"},
        {{"BcdWords", "DM137", "VT_UI2 ARRAY/BCD", 0, 2}, MemoryArea::DM, 137, "[1234,9999]", {0x1234, 0x9999}, "[1234,9999]", {0x0042, 0x0001}, "[42,1]"},
        {{"SWords", "DM140", "VT_I2 ARRAY/BIN", 0, 2}, MemoryArea::DM, 140, "[-2,300]", {0xFFFE, 0x012C}, "[-2,300]", {0x8000, 0x7FFF}, "[-32768,32767]"},
        {{"Longs", "DM142", "VT_I4 ARRAY/BIN", 0, 2}, MemoryArea::DM, 142, "[70000,-1]", {0x1170, 0x0001, 0xFFFF, 0xFFFF}, "[70000,-1]", {5, 0, 0, 0}, "[5,0]"},
        {{"ULongs", "DM146", "VT_UI4 ARRAY/BIN", 0, 1}, MemoryArea::DM, 146, "[4000000000]", {0x2800, 0xEE6B}, "[4000000000]", {0x0010, 0x0000}, "[16]"},
        {{"BcdLongs", "DM148", "VT_UI4 ARRAY/BCD", 0, 1}, MemoryArea::DM, 148, "[87654321]", {0x4321, 0x8765}, "[87654321]", {0x0000, 0x0001}, "[10000]"},
        {{"Reals", "DM150", "VT_R4 ARRAY/BIN", 0, 2}, MemoryArea::DM, 150, "[0.5,-2]", {0x0000, 0x3F00, 0x0000, 0xC000}, "[0.5,-2]", {0x0000, 0x4040, 0x0000, 0x0000}, "[3,0]"},
        {{"Done", "TG5", "VT_BOOL/BIN"}, MemoryArea::TG, 5, "true", {0x0001}, "true", {0x0000}, "false"},
    };
    return cases;
}

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("app-e2e-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        socket_ = (dir_ / "door" / "v.sock").string();
        env_ = {{"MOLV_REGISTRY_ROOT", (dir_ / "registry").string()},
                {"VORLASK_SOCKET", ""},
                {"VORLASK_HEADLESS", ""},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""}};
    }
    void TearDown() override
    {
        server_.reset();
        if (sim_)
            sim_->stop();
        fs::remove_all(dir_);
    }

    void startSimulator()
    {
        PlcSimulator::Options o;
        o.units = {0};
        sim_ = std::make_unique<PlcSimulator>(o);
        std::string why;
        ASSERT_TRUE(sim_->start(&why)) << why;
        sim_->setMode(0, SimMode::Monitor);
        Registry(dir_ / "registry").writeString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", "COM1", sim_->devicePath());
    }

    void writeConfig(const std::string& plcName, const std::vector<TagSpec>& tags, const fs::path& file)
    {
        std::ofstream(file, std::ios::binary) << plantXml(plcName, tags);
    }
    void pointRegistryAt(const fs::path& file)
    {
        Registry(dir_ / "registry").writeString("SOFTWARE\\MOLVAutomation\\Vorlask", "ConfigFile", file.string());
    }

    void startServer(std::vector<std::string> extra = {}, fs::path exe = {})
    {
        std::vector<std::string> argv = {(exe.empty() ? binDir() / "vorlask" : exe).string(), "--headless",
                                         "--socket", socket_};
        argv.insert(argv.end(), extra.begin(), extra.end());
        server_ = std::make_unique<ChildProcess>(argv, env_, dir_);
        // Only the file: a probing connection would be a client of its own.
        ASSERT_TRUE(waitForSocketFile(socket_, 10s)) << server_->err();
    }

    RunResult cli(std::vector<std::string> args)
    {
        std::vector<std::string> argv = {(binDir() / "vorlask-cli").string(), "--socket", socket_};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(argv, env_, dir_);
    }

    fs::path dir_;
    std::string socket_;
    std::map<std::string, std::string> env_;
    std::unique_ptr<PlcSimulator> sim_;
    std::unique_ptr<ChildProcess> server_;
};

using json = nlohmann::json;

std::vector<TagSpec> allTypeTags()
{
    std::vector<TagSpec> tags;
    for (const auto& c : typeCases())
        tags.push_back(c.tag);
    TagSpec ro{"ReadOnly", "DM200", "VT_I2/BIN"};
    ro.access = "READ";
    tags.push_back(ro);
    return tags;
}

TEST_F(ServerFixture, EveryDataTypeTravelsFromTheCliToThePlcAndBack)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer();

    for (const auto& c : typeCases()) {
        const std::string id = "Plant.Types." + c.tag.name;
        const RunResult w = cli({"write", id, c.written});
        ASSERT_EQ(w.exitCode, 0) << id << ": " << w.err;
        EXPECT_EQ(sim_->words(0, c.area, c.address, c.words.size()), c.words) << id;

        const RunResult r = cli({"read", "--device", id});
        ASSERT_EQ(r.exitCode, 0) << id << ": " << r.err;
        EXPECT_EQ(r.out, id + "\t" + c.readBack + "\t0xC0\n") << id;
    }

    // New words in the PLC reach a watching client.
    std::vector<std::string> args = {(binDir() / "vorlask-cli").string(), "--socket", socket_, "watch", "--rate", "100"};
    for (const auto& c : typeCases()) {
        ASSERT_TRUE(sim_->setWords(0, c.area, c.address, c.otherWords));
        args.push_back("Plant.Types." + c.tag.name);
    }
    ChildProcess watch(args, env_, dir_);
    auto allSeen = [&] {
        const std::string out = watch.out();
        for (const auto& c : typeCases())
            if (out.find("Plant.Types." + c.tag.name + "\t" + c.otherText + "\t0xC0\n") == std::string::npos)
                return false;
        return true;
    };
    for (int i = 0; i < 200 && !allSeen(); ++i)
        std::this_thread::sleep_for(50ms);
    const std::string out = watch.out();
    for (const auto& c : typeCases())
        EXPECT_NE(out.find("Plant.Types." + c.tag.name + "\t" + c.otherText + "\t0xC0\n"), std::string::npos)
            << c.tag.name << " in\n" << out;
    watch.signal(SIGINT);
    EXPECT_EQ(watch.wait(5s).value_or(-1), 0);
}

TEST_F(ServerFixture, CliBrowsesShowsPropertiesAndRefusesWhatTheServerRefuses)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer();

    const RunResult b = cli({"browse"});
    ASSERT_EQ(b.exitCode, 0) << b.err;
    std::string expected;
    for (const auto& t : allTypeTags())
        expected += "Plant.Types." + t.name + "\n";
    EXPECT_EQ(b.out, expected);

    const RunResult p = cli({"props", "Plant.Types.Flags"});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(p.out, "datatype VT_BOOL ARRAY\naccess READWRITE\ndescription Flags comment\n");
    const RunResult ro = cli({"props", "Plant.Types.ReadOnly"});
    EXPECT_EQ(ro.out, "datatype VT_I2\naccess READ\ndescription ReadOnly comment\n");

    const RunResult unknown = cli({"read", "Plant.Nothing"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("unknown item"), std::string::npos) << unknown.err;

    const RunResult readOnly = cli({"write", "Plant.Types.ReadOnly", "5"});
    EXPECT_EQ(readOnly.exitCode, 1);
    EXPECT_FALSE(readOnly.err.empty());

    const RunResult badType = cli({"write", "Plant.Types.I2", "\"text\""});
    EXPECT_EQ(badType.exitCode, 1);
    EXPECT_FALSE(badType.err.empty());

    EXPECT_EQ(cli({"write", "Plant.Types.I2"}).exitCode, 2);
    EXPECT_EQ(cli({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(cli({"write", "Plant.Types.I2", "abc"}).exitCode, 2);
}

// A string or array longer than its item would run over the PLC words of the items after it:
// the door refuses it whole, and the words stay as they were.
TEST_F(ServerFixture, AWriteLongerThanItsItemIsRefusedAndTouchesNoWord)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer();

    struct Case {
        std::string item, value;
        bool refused;
        std::string reason;
    } cases[] = {
        {"Str", "\"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\"", true, "36 characters; the item holds at most 4"},
        {"Str", "123456789", true, "at most 4"}, // a number becomes a 9-character string
        {"Words", "[1,2,3,4,5]", true, "5 elements; the item holds at most 3"},
        {"Flags", "[true,true,true,true,true,true,true,true,true,true,true,true,true,true,true,true,true]", true, "at most 4"},
        {"Str", "\"AB\"", false, ""},
        {"Words", "[9]", false, ""},
    };
    for (const auto& c : cases) {
        const auto before = sim_->words(0, MemoryArea::DM, 100, 60);
        const auto irBefore = sim_->words(0, MemoryArea::IR, 0, 20);
        const RunResult w = cli({"write", "Plant.Types." + c.item, c.value});
        if (c.refused) {
            EXPECT_EQ(w.exitCode, 1) << c.item << " " << c.value;
            EXPECT_NE(w.err.find(c.reason), std::string::npos) << w.err;
            EXPECT_EQ(sim_->words(0, MemoryArea::DM, 100, 60), before) << c.item << " " << c.value;
            EXPECT_EQ(sim_->words(0, MemoryArea::IR, 0, 20), irBefore) << c.item << " " << c.value;
        } else {
            EXPECT_EQ(w.exitCode, 0) << c.item << " " << c.value << ": " << w.err;
        }
    }
}

TEST_F(ServerFixture, RealDoorAnswersAMalformedLineAndStaysUsable)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socket_.c_str(), sizeof(addr.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string lines = "garbage\n{\"id\":5,\"op\":\"props\",\"item\":\"Plant.Types.I2\"}\n";
    ASSERT_EQ(::send(fd, lines.data(), lines.size(), MSG_NOSIGNAL), static_cast<ssize_t>(lines.size()));
    std::string got;
    char c;
    int newlines = 0;
    while (newlines < 2 && ::recv(fd, &c, 1, 0) == 1) {
        got += c;
        newlines += c == '\n';
    }
    ::close(fd);
    const auto first = got.substr(0, got.find('\n'));
    const auto second = got.substr(got.find('\n') + 1);
    EXPECT_NE(first.find("\"ok\":false"), std::string::npos) << got;
    EXPECT_NE(second.find("\"datatype\":\"VT_I2\""), std::string::npos) << got;
    EXPECT_NE(second.find("\"id\":5"), std::string::npos) << got;
}

TEST_F(ServerFixture, DoorGivesTheTreeWithDetailsResultCodesAndPlcStatus)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer();
    DoorClient door;
    ASSERT_TRUE(door.connectTo(socket_, nullptr));

    const auto plain = door.call({{"op", "browse"}});
    const auto tree = door.call({{"op", "browse"}, {"details", true}});
    ASSERT_TRUE(plain && tree);
    ASSERT_EQ((*tree)["items"].size(), (*plain)["items"].size());
    ASSERT_EQ((*tree)["branches"].size(), 2u); // Plant, Plant.Types
    EXPECT_EQ((*tree)["branches"][1], (json{{"branch", "Plant.Types"}, {"name", "Types"}, {"parent", "Plant"}}));
    std::map<std::string, json> items;
    for (const auto& it : (*tree)["items"])
        items[it["item"]] = it;
    const json flags = items.at("Plant.Types.Flags");
    EXPECT_EQ(flags["parent"], "Plant.Types");
    EXPECT_EQ(flags["name"], "Flags");
    EXPECT_EQ(flags["datatype"], "VT_BOOL ARRAY");
    EXPECT_EQ(flags["elements"], 4);
    EXPECT_EQ(flags["access"], "READWRITE");
    EXPECT_EQ(items.at("Plant.Types.ReadOnly")["rights"], 1);
    EXPECT_EQ(items.at("Plant.Types.Str")["elements"], 4); // its configured characters

    // Refusals carry the OPC DA result beside the text.
    struct Case {
        json write;
        std::uint32_t code;
    } cases[] = {
        {{{"item", "Plant.Types.ReadOnly"}, {"value", 1}}, 0xC0040006},      // OPC_E_BADRIGHTS
        {{{"item", "Plant.Types.I2"}, {"value", 70000}}, 0xC004000B},   // OPC_E_RANGE
        {{{"item", "Plant.Types.I2"}, {"value", "twelve"}}, 0xC0040004}, // OPC_E_BADTYPE
        {{{"item", "Plant.Nothing"}, {"value", 1}}, 0xC0040007},        // OPC_E_UNKNOWNITEMID
    };
    for (const auto& c : cases) {
        const auto reply = door.call({{"op", "write"}, {"items", json::array({c.write})}});
        ASSERT_TRUE(reply);
        const json& r = (*reply)["results"][0];
        EXPECT_EQ(r["ok"], false) << c.write;
        EXPECT_EQ(r["code"], c.code) << r;
        EXPECT_TRUE(r["error"].is_string()) << r;
    }

    const auto plcs = door.call({{"op", "plcs"}});
    ASSERT_TRUE(plcs);
    ASSERT_EQ((*plcs)["plcs"].size(), 1u);
    const json& p = (*plcs)["plcs"][0];
    EXPECT_EQ(p["plc"], "Plant");
    EXPECT_EQ(p["unit"], 0);
    EXPECT_EQ(p["port"], "COM1");
    EXPECT_TRUE(p.contains("lastResult") && p.contains("lastText") && p.contains("lastResultSince")) << p;
}

TEST_F(ServerFixture, NoConfigurationShowsBothBoxesAndTheServerCloses)
{
    std::vector<std::string> argv = {(binDir() / "vorlask").string(), "--headless", "--socket", socket_};
    const RunResult r = runProcess(argv, env_, dir_, 10s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "OPC Omron HostLink Server: The configuration file couldn't be loaded !\n"
                     "OPC OMRON Server: No OMRON PLC configured. OPC Server being closed.\n");
}

TEST_F(ServerFixture, StartedByComEndsWhenItsLastClientLeaves)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer({"-Embedding"});
    ASSERT_EQ(cli({"browse"}).exitCode, 0);
    EXPECT_EQ(server_->wait(8s).value_or(-1), 0) << server_->err();
}

TEST_F(ServerFixture, StartedByHandKeepsRunningWhenClientsLeave)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer({"-Embedding", "extra"}); // not the switch: started by hand
    ASSERT_EQ(cli({"browse"}).exitCode, 0);
    EXPECT_FALSE(server_->wait(1500ms).has_value());
    ASSERT_EQ(cli({"read", "Plant.Types.I2"}).exitCode, 0);
    server_->signal(SIGTERM);
    EXPECT_EQ(server_->wait(8s).value_or(-1), 0);
}

TEST_F(ServerFixture, ShutdownAsksAWatchingClientToLeave)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer();
    ChildProcess watch({(binDir() / "vorlask-cli").string(), "--socket", socket_, "watch", "Plant.Types.I2"}, env_, dir_);
    for (int i = 0; i < 100 && watch.out().empty(); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_FALSE(watch.out().empty());
    const auto began = std::chrono::steady_clock::now();
    server_->signal(SIGINT);
    EXPECT_EQ(server_->wait(9s).value_or(-1), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 5s); // the client left: no 10 s wait
    EXPECT_EQ(watch.wait(5s).value_or(-1), 3);
    EXPECT_NE(watch.err().find("Server shutdown"), std::string::npos) << watch.err();
}

namespace {

// The processes below pid: its children, their children, and so on.
std::vector<pid_t> descendantsOf(pid_t root)
{
    std::map<pid_t, std::vector<pid_t>> children;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(e.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        children[ppid].push_back(std::stoi(name));
    }
    std::vector<pid_t> all, todo{root};
    while (!todo.empty()) {
        const pid_t p = todo.back();
        todo.pop_back();
        for (pid_t c : children[p]) {
            all.push_back(c);
            todo.push_back(c);
        }
    }
    return all;
}

// Alive and not merely a zombie waiting for a reaper.
bool alive(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

} // namespace

// Run by the next test in a process of its own: a server with a gateway under it, held until
// the process is killed.
TEST_F(ServerFixture, HoldsAServerWithAGatewayUntilKilled)
{
    const char* probe = std::getenv("VORLASK_ORPHAN_PROBE");
    if (!probe)
        GTEST_SKIP() << "run by KilledTestLeavesNoProcessBehind";
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer({"--mqtt", "mqtt://127.0.0.1:9"});
    std::ofstream(probe) << "ready\n";
    std::this_thread::sleep_for(120s);
}

TEST_F(ServerFixture, KilledTestLeavesNoProcessBehind)
{
    const fs::path ready = dir_ / "ready";
    auto env = env_;
    env["VORLASK_ORPHAN_PROBE"] = ready.string();
    ChildProcess test({fs::read_symlink("/proc/self/exe").string(),
                       "--gtest_filter=ServerFixture.HoldsAServerWithAGatewayUntilKilled"},
                      env, dir_);
    // The server and the gateway it supervises (a Node process, once its launcher has exec'd).
    std::vector<pid_t> below;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    auto gatewayRuns = [&] {
        below = descendantsOf(test.pid());
        for (pid_t p : below) {
            std::ifstream comm("/proc/" + std::to_string(p) + "/comm");
            std::string name;
            std::getline(comm, name);
            if (name == "node")
                return true;
        }
        return false;
    };
    while (!(fs::exists(ready) && gatewayRuns()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(gatewayRuns()) << test.err() << test.out();
    ASSERT_GE(below.size(), 2u);

    test.signal(SIGKILL);
    ASSERT_TRUE(test.wait(5s).has_value());
    const auto gone = std::chrono::steady_clock::now() + 10s;
    auto anyAlive = [&] { return std::any_of(below.begin(), below.end(), alive); };
    while (anyAlive() && std::chrono::steady_clock::now() < gone)
        std::this_thread::sleep_for(20ms);
    for (pid_t p : below)
        EXPECT_FALSE(alive(p)) << "process " << p << " outlived its test";
    fs::remove_all(fs::temp_directory_path() /
                   ("app-e2e-" + std::to_string(test.pid()) + "-HoldsAServerWithAGatewayUntilKilled"));
}

TEST_F(ServerFixture, ConfigurationBesideTheExecutableWinsOverTheRegistry)
{
    startSimulator();
    const fs::path exe = dir_ / "bin" / "vorlask";
    fs::create_directories(exe.parent_path());
    fs::copy_file(binDir() / "vorlask", exe);
    writeConfig("Beside", {{"A", "DM0", "VT_I2/BIN"}}, exe.string() + ".xml");
    writeConfig("Registry", {{"B", "DM0", "VT_I2/BIN"}}, dir_ / "registry.xml");
    pointRegistryAt(dir_ / "registry.xml");
    startServer({}, exe);
    const RunResult b = cli({"browse"});
    EXPECT_EQ(b.out, "Beside.Types.A\n");
}

TEST_F(ServerFixture, RegistrationWritesAndRemovesTheServersKeys)
{
    const Registry reg(dir_ / "registry");
    const RunResult r = runProcess({(binDir() / "vorlask").string(), "/regserver"}, env_, dir_);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(reg.readString("SOFTWARE\\Classes\\Molv.OMRONCSeriesOPCServerDA.1.1", "Description").value_or(""),
              "Molv OMRON-CSeries HostLink OPC DA Server v1.1");
    const std::string clsid = reg.readString("SOFTWARE\\Classes\\Molv.OMRONCSeriesOPCServerDA", "CLSID").value_or("");
    EXPECT_FALSE(clsid.empty());
    EXPECT_TRUE(reg.keyExists("SOFTWARE\\Classes\\CLSID\\" + clsid + "\\Implemented Categories"));

    const RunResult u = runProcess({(binDir() / "vorlask").string(), "-UnRegServer"}, env_, dir_);
    EXPECT_EQ(u.exitCode, 0) << u.err;
    EXPECT_FALSE(reg.keyExists("SOFTWARE\\Classes\\Molv.OMRONCSeriesOPCServerDA.1.1"));
    EXPECT_FALSE(reg.keyExists("SOFTWARE\\Classes\\CLSID\\" + clsid));
}

TEST_F(ServerFixture, OwnOptionsAnswerWithoutStartingAServer)
{
    const std::string exe = (binDir() / "vorlask").string();
    const RunResult help = runProcess({exe, "--help"}, env_, dir_);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--headless"), std::string::npos);
    const RunResult version = runProcess({exe, "--version"}, env_, dir_);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("vorlask ", 0), 0u);
    EXPECT_EQ(runProcess({exe, "--socket"}, env_, dir_).exitCode, 2);

    const std::string cliExe = (binDir() / "vorlask-cli").string();
    EXPECT_EQ(runProcess({cliExe, "--help"}, env_, dir_).exitCode, 0);
    EXPECT_EQ(runProcess({cliExe, "--socket", (dir_ / "none.sock").string(), "browse"}, env_, dir_).exitCode, 3);
}

TEST_F(ServerFixture, StatsShowWhatThePlcAndItsLineDid)
{
    startSimulator();
    writeConfig("Plant", allTypeTags(), dir_ / "plant.xml");
    pointRegistryAt(dir_ / "plant.xml");
    startServer();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(cli({"read", "--device", "Plant.Types.I2"}).exitCode, 0);
    auto split = [](const std::string& text, char sep) {
        std::vector<std::string> out;
        std::string part;
        std::istringstream in(text);
        while (std::getline(in, part, sep))
            out.push_back(part);
        return out;
    };

    const RunResult table = cli({"stats", "--blocks"});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    const auto lines = split(table.out, '\n');
    ASSERT_EQ(lines.size(), 4u) << table.out;
    EXPECT_EQ(lines[0], "plc\tunit\tport\tcommands\tfailures\tlastResult\tlastText\tresponseMeanMs\tresponseMaxMs\tlineBusyPct");
    const auto row = split(lines[1], '\t');
    ASSERT_EQ(row.size(), 10u) << lines[1];
    EXPECT_EQ(row[0], "Plant");
    EXPECT_EQ(row[1], "0");
    EXPECT_EQ(row[2], "COM1");
    EXPECT_EQ(row[3], std::to_string(sim_->counters().commands));
    EXPECT_EQ(row[4], "0");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "plc\tarea\tfirst\tcount\trateMs\tachievedMeanMs\tachievedMaxMs"); // nothing watched

    const RunResult asJson = cli({"stats", "--json"});
    ASSERT_EQ(asJson.exitCode, 0);
    const auto reply = nlohmann::json::parse(asJson.out);
    EXPECT_EQ(reply["plcs"][0]["charsSent"], sim_->counters().charsIn);
    EXPECT_EQ(reply["plcs"][0]["charsReceived"], sim_->counters().charsOut);
    EXPECT_EQ(reply["lines"][0]["port"], "COM1");
    EXPECT_EQ(reply["lines"][0]["open"], true);

    const RunResult reset = cli({"stats", "--reset"});
    ASSERT_EQ(reset.exitCode, 0);
    EXPECT_EQ(split(split(reset.out, '\n')[1], '\t')[3], "0");
    EXPECT_EQ(cli({"stats", "--bogus"}).exitCode, 2);
}

} // namespace
