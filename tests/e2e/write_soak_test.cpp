// Write integrity under faults: thousands of writes of random values to items of every data
// type through the door, while the simulated PLC garbles, refuses or ignores about one
// transaction in ten. A write reported done must be in the PLC's memory at once; a failed
// write is counted; at the end the memory holds, for every item, a value its writer sent.
#include "tests/e2e/app_process.h"

#include "common/registry.h"
#include "tools/cli/door_client.h"
#include "tools/plcsim/plc_simulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using json = nlohmann::json;
namespace fs = std::filesystem;

constexpr int kWrites = 10000;
constexpr int kWriters = 4; // each owns one item of every type: one writer per address

using Words = std::vector<std::uint16_t>;

// One data type: its file word, the words it takes, a random value and the words it must
// leave in the PLC.
struct TypeRow {
    const char* name;
    const char* datatype;
    MemoryArea area;
    int words;
    int elements;
    std::function<json(std::mt19937&)> value;
    std::function<Words(const json&)> encode;
};

std::uint16_t bcd(std::uint32_t v) { return std::uint16_t(((v / 1000) % 10) << 12 | ((v / 100) % 10) << 8 | ((v / 10) % 10) << 4 | (v % 10)); }

const std::vector<TypeRow>& typeRows()
{
    auto uniform = [](long long lo, long long hi) {
        return [lo, hi](std::mt19937& r) { return json(std::uniform_int_distribution<long long>(lo, hi)(r)); };
    };
    static const std::vector<TypeRow> rows = {
        {"I2", "VT_I2/BIN", MemoryArea::DM, 1, 0, uniform(-32768, 32767),
         [](const json& v) { return Words{std::uint16_t(v.get<int>())}; }},
        {"UI2", "VT_UI2/BIN", MemoryArea::DM, 1, 0, uniform(0, 65535),
         [](const json& v) { return Words{std::uint16_t(v.get<int>())}; }},
        {"UI2Bcd", "VT_UI2/BCD", MemoryArea::HR, 1, 0, uniform(0, 9999),
         [](const json& v) { return Words{bcd(v.get<std::uint32_t>())}; }},
        {"I4", "VT_I4/BIN", MemoryArea::DM, 2, 0, uniform(INT32_MIN, INT32_MAX),
         [](const json& v) { auto u = std::uint32_t(v.get<std::int32_t>()); return Words{std::uint16_t(u), std::uint16_t(u >> 16)}; }},
        {"UI4Bcd", "VT_UI4/BCD", MemoryArea::DM, 2, 0, uniform(0, 99999999),
         [](const json& v) { auto u = v.get<std::uint32_t>(); return Words{bcd(u % 10000), bcd(u / 10000)}; }},
        {"R4", "VT_R4/BIN", MemoryArea::DM, 2, 0,
         [](std::mt19937& r) { return json(double(std::uniform_int_distribution<int>(-100000, 100000)(r)) / 4); },
         [](const json& v) { auto u = std::bit_cast<std::uint32_t>(float(v.get<double>())); return Words{std::uint16_t(u), std::uint16_t(u >> 16)}; }},
        {"Bool", "VT_BOOL/BIN", MemoryArea::IR, 1, 0,
         [](std::mt19937& r) { return json(r() % 2 == 1); },
         [](const json& v) { return Words{std::uint16_t(v.get<bool>() ? 1 : 0)}; }},
        {"Str", "VT_BSTR/BIN", MemoryArea::DM, 2, 4,
         [](std::mt19937& r) { std::string s; for (int i = 0; i < 4; ++i) s += char('A' + r() % 26); return json(s); },
         [](const json& v) { auto s = v.get<std::string>(); return Words{std::uint16_t(s[0] << 8 | s[1]), std::uint16_t(s[2] << 8 | s[3])}; }},
        {"Bytes", "VT_UI1 ARRAY/BIN", MemoryArea::DM, 2, 4,
         [](std::mt19937& r) { json a = json::array(); for (int i = 0; i < 4; ++i) a.push_back(r() % 256); return a; },
         [](const json& v) { return Words{std::uint16_t(v[1].get<int>() << 8 | v[0].get<int>()), std::uint16_t(v[3].get<int>() << 8 | v[2].get<int>())}; }},
        {"Words", "VT_I2 ARRAY/BIN", MemoryArea::LR, 3, 3,
         [](std::mt19937& r) { json a = json::array(); for (int i = 0; i < 3; ++i) a.push_back(int(r() % 65536) - 32768); return a; },
         [](const json& v) { return Words{std::uint16_t(v[0].get<int>()), std::uint16_t(v[1].get<int>()), std::uint16_t(v[2].get<int>())}; }},
        {"Flags", "VT_BOOL ARRAY/BIN", MemoryArea::IR, 1, 8,
         [](std::mt19937& r) { json a = json::array(); for (int i = 0; i < 8; ++i) a.push_back(r() % 2 == 1); return a; },
         [](const json& v) { std::uint16_t w = 0; for (int i = 0; i < 8; ++i) w |= std::uint16_t(v[i].get<bool>()) << i; return Words{w}; }},
    };
    return rows;
}

struct Item {
    std::string id;
    const TypeRow* type;
    std::uint16_t address;
    std::vector<json> okValues;      // in order
    std::vector<json> failedSince;   // failed writes after the last OK one
};

std::string channel(MemoryArea area, std::uint16_t address)
{
    return std::string(areaPrefix(area)) + std::to_string(address);
}

TEST(WriteSoak, EveryWriteReportedDoneIsInThePlcUnderRandomFaults)
{
    const fs::path dir = fs::temp_directory_path() / ("write-soak-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::map<std::string, std::string> env = {{"MOLV_REGISTRY_ROOT", (dir / "registry").string()},
                                                    {"VORLASK_SOCKET", ""}, {"VORLASK_HEADLESS", ""},
                                                    {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    PlcSimulator::Options o;
    o.units = {0};
    PlcSimulator sim(o);
    std::string why;
    ASSERT_TRUE(sim.start(&why)) << why;
    sim.setMode(0, SimMode::Monitor);
    Registry(dir / "registry").writeString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", "COM1", sim.devicePath());

    // Every writer's items, each type at its own addresses (the bool in its own word).
    std::vector<std::vector<Item>> items(kWriters);
    std::map<MemoryArea, std::uint16_t> next = {{MemoryArea::DM, 100}, {MemoryArea::HR, 10}, {MemoryArea::IR, 20}, {MemoryArea::LR, 5}};
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<MOLVOmronHLCfg><OPC_DA>\n<PLC name=\"Soak\" id=\"0\" "
         "com=\"COM1\" baudrate=\"9600\" stopbits=\"2\" databits=\"7\" parity=\"EVEN\"><tags><Types>\n";
    for (int w = 0; w < kWriters; ++w) {
        for (const TypeRow& t : typeRows()) {
            Item it{std::string("Soak.Types.") + t.name + std::to_string(w), &t, next[t.area], {}, {}};
            next[t.area] = std::uint16_t(next[t.area] + t.words + 1);
            x << "<tag><name>" << t.name << w << "</name><comment></comment><channel>" << channel(t.area, it.address)
              << "</channel><datatype>" << t.datatype << "</datatype><accessrights>READWRITE</accessrights>";
            if (std::string(t.datatype).find("BOOL") != std::string::npos)
                x << "<databit>0</databit>";
            if (t.elements)
                x << "<elements>" << t.elements << "</elements>";
            x << "</tag>\n";
            items[w].push_back(std::move(it));
        }
    }
    x << "</Types></tags></PLC>\n</OPC_DA></MOLVOmronHLCfg>\n";
    std::ofstream(dir / "soak.xml", std::ios::binary) << x.str();
    Registry(dir / "registry").writeString("SOFTWARE\\MOLVAutomation\\Vorlask", "ConfigFile", (dir / "soak.xml").string());
    const std::string socket = (dir / "door" / "v.sock").string();
    ChildProcess server({(binDir() / "vorlask").string(), "--headless", "--socket", socket}, env, dir);
    ASSERT_TRUE(waitForSocketFile(socket, 10s)) << server.err();

    // About one transaction in ten meets a fault: mostly quick ones (garbled, bad FCS, refused),
    // now and then silence, which costs the whole reply time-out.
    std::atomic<bool> stop{false};
    std::atomic<int> faults{0};
    std::thread injector([&] {
        std::mt19937 r(7);
        const std::vector<SimFault> kinds = {
            {SimFaultKind::BadFcs, 0, 1}, {SimFaultKind::GarbledFirstByte, 0, 1}, {SimFaultKind::EndCode, 0x23, 1},
            {SimFaultKind::EndCode, 0x15, 1}, {SimFaultKind::BadFcs, 0, 1}, {SimFaultKind::GarbledFirstByte, 0, 1},
            {SimFaultKind::EndCode, 0x04, 1}, {SimFaultKind::Silence, 0, 1}};
        std::uint64_t seen = sim.counters().commands;
        while (!stop) {
            std::this_thread::sleep_for(1ms);
            const std::uint64_t now = sim.counters().commands;
            for (; seen < now; ++seen)
                if (r() % 10 == 0) {
                    sim.setFault(0, "*", kinds[r() % kinds.size()]);
                    ++faults;
                }
        }
    });

    std::atomic<int> ok{0}, failed{0}, unknown{0}, missing{0};
    std::mutex reportMutex;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            DoorClient door;
            if (!door.connectTo(socket, nullptr)) {
                ++missing;
                return;
            }
            std::mt19937 r(1000 + w);
            for (int n = 0; n < kWrites / kWriters; ++n) {
                Item& it = items[w][r() % items[w].size()];
                const json value = it.type->value(r);
                auto reply = door.call({{"op", "write"}, {"items", {{{"item", it.id}, {"value", value}}}}});
                if (!reply || !(*reply)["ok"].get<bool>()) {
                    ++missing; // the door itself failed: never expected
                    continue;
                }
                const json& res = (*reply)["results"][0];
                if (res.value("ok", false)) {
                    ++ok;
                    it.okValues.push_back(value);
                    it.failedSince.clear();
                    const Words want = it.type->encode(value);
                    if (sim.words(0, it.type->area, it.address, want.size()) != want) {
                        std::lock_guard l(reportMutex);
                        ADD_FAILURE() << it.id << " reported written with " << value.dump() << " but is not in the PLC";
                    }
                } else {
                    (res.value("unknown", false) ? unknown : failed)++;
                    it.failedSince.push_back(value);
                }
            }
        });
    }
    for (auto& t : writers)
        t.join();
    stop = true;
    injector.join();
    sim.clearFaults();

    // The final memory holds the last value reported done, or a failed write sent after it
    // (a write whose reply was garbled may well have been carried out).
    for (const auto& writer : items) {
        for (const Item& it : writer) {
            if (it.okValues.empty() && it.failedSince.empty())
                continue;
            const Words now = sim.words(0, it.type->area, it.address, std::size_t(it.type->encode(
                it.okValues.empty() ? it.failedSince.back() : it.okValues.back()).size()));
            bool known = !it.okValues.empty() && now == it.type->encode(it.okValues.back());
            for (const json& v : it.failedSince)
                known = known || now == it.type->encode(v);
            EXPECT_TRUE(known || it.okValues.empty()) << it.id << " holds a value its writer never sent";
        }
    }
    std::cout << "[ soak ] writes " << kWrites << ": reported done " << ok << ", failed " << failed
              << ", outcome unknown " << unknown << "; faults injected " << faults
              << "; PLC commands " << sim.counters().commands << std::endl;
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(ok + failed + unknown, kWrites);
    EXPECT_GT(failed, 0); // the faults did strike writes
    EXPECT_TRUE(server.running()) << server.err();
    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(30s), 0) << server.err();
    sim.stop();
    fs::remove_all(dir);
}

} // namespace
