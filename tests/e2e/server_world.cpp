#include "tests/e2e/server_world.h"

#include "common/registry.h"

#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const ServerWorld::k9600 = R"(baudrate="9600" stopbits="2" databits="7" parity="EVEN")";

ServerWorld::ServerWorld(const std::string& name)
{
    dir_ = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    socket_ = (dir_ / "door" / "v.sock").string();
    env_ = {{"MOLV_REGISTRY_ROOT", (dir_ / "registry").string()},
            {"VORLASK_SOCKET", ""},
            {"VORLASK_HEADLESS", ""},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""}};
}

ServerWorld::~ServerWorld()
{
    watch_.reset();
    server_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string ServerWorld::plc(const std::string& name, int unit, const std::string& com, const std::string& line)
{
    return "<PLC name=\"" + name + "\" id=\"" + std::to_string(unit) + "\" com=\"" + com + "\" " + line +
           "><tags><Types><tag><name>D</name><comment></comment><channel>DM100</channel>"
           "<datatype>VT_I2/BIN</datatype><accessrights>READWRITE</accessrights></tag></Types></tags></PLC>\n";
}

std::unique_ptr<ChildProcess> ServerWorld::helper(const std::string& name, const std::vector<std::string>& argv) const
{
    const fs::path out = dir_ / name;
    fs::create_directories(out);
    return std::make_unique<ChildProcess>(argv, env_, out);
}

void ServerWorld::start(const std::string& plcs, const std::map<std::string, std::string>& ports,
                        const std::vector<std::string>& watched, const std::map<std::string, std::string>& values)
{
    Registry registry(dir_ / "registry");
    for (const auto& [name, target] : ports)
        registry.writeString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", name, target);
    std::ofstream(dir_ / "plant.xml", std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<MOLVOmronHLCfg><OPC_DA>\n" << plcs
        << "</OPC_DA></MOLVOmronHLCfg>\n";
    registry.writeString("SOFTWARE\\MOLVAutomation\\Vorlask", "ConfigFile", (dir_ / "plant.xml").string());
    for (const auto& [name, value] : values)
        registry.writeString("SOFTWARE\\MOLVAutomation\\Vorlask", name, value);
    server_ = helper("server", {(binDir() / "vorlask").string(), "--headless", "--socket", socket_});
    if (!waitForSocketFile(socket_, 10s))
        return;
    std::vector<std::string> argv = {(binDir() / "vorlask-cli").string(), "--socket", socket_, "watch", "--rate", "100"};
    argv.insert(argv.end(), watched.begin(), watched.end());
    watch_ = helper("watch", argv);
}

std::vector<std::string> ServerWorld::lines(const std::string& plc) const
{
    std::vector<std::string> out;
    std::istringstream in(server_->err());
    for (std::string l; std::getline(in, l);)
        if (l.rfind(plc + ": ", 0) == 0)
            out.push_back(l);
    return out;
}

RunResult ServerWorld::cli(const std::vector<std::string>& args) const
{
    std::vector<std::string> argv = {(binDir() / "vorlask-cli").string(), "--socket", socket_};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, env_, dir_);
}

std::map<std::string, std::string> ServerWorld::read(const std::vector<std::string>& items) const
{
    std::vector<std::string> args = {"read"};
    args.insert(args.end(), items.begin(), items.end());
    std::map<std::string, std::string> out;
    std::istringstream in(cli(args).out);
    for (std::string l; std::getline(in, l);) {
        const auto a = l.find('\t'), b = l.rfind('\t');
        if (a != std::string::npos && b > a)
            out[l.substr(0, a)] = l.substr(a + 1, b - a - 1) + " " + l.substr(b + 1);
    }
    return out;
}

bool ServerWorld::shows(const std::map<std::string, std::string>& wanted) const
{
    std::vector<std::string> items;
    for (const auto& w : wanted)
        items.push_back(w.first);
    return read(items) == wanted;
}

bool ServerWorld::bad(const std::string& item) const
{
    return read({item})[item].find(" 0xC0") == std::string::npos;
}

bool ServerWorld::waitFor(const std::function<bool()>& condition, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}
