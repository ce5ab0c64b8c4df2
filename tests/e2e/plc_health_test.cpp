// A PLC's own status through the real server: its mode, model and error flags on the door and
// the command line, one message line per change, writes refused in RUN said plainly, and a
// unit that knows none of the status commands left alone.
#include "tests/e2e/server_world.h"

#include "tools/plcsim/plc_simulator.h"

#include <gtest/gtest.h>

#include <functional>

#include <nlohmann/json.hpp>

namespace {

using namespace std::chrono_literals;

TEST(PlcHealth, ModeModelAndErrorsReachEveryViewWithOneLinePerChange)
{
    ServerWorld w("plc-health");
    PlcSimulator::Options o;
    o.units = {0, 1};
    o.linkPath = (w.dir() / "line").string();
    PlcSimulator sim(o);
    sim.setModel(0, 0x11);
    sim.setRunLock(true);
    sim.setFault(1, "MS", *parseSimFault("ic"));
    sim.setFault(1, "MM", *parseSimFault("ic"));
    std::string why;
    ASSERT_TRUE(sim.start(&why)) << why;
    w.start(ServerWorld::plc("Press", 0, "COM1", ServerWorld::k9600) +
                ServerWorld::plc("Old", 1, "COM1", ServerWorld::k9600),
            {{"COM1", o.linkPath}}, {"Press.Types.D", "Old.Types.D"}, {{"StatusPollMs", "200"}});

    auto plcs = [&] {
        std::map<std::string, nlohmann::json> out;
        const RunResult r = w.cli({"plcs", "--json"});
        if (r.exitCode != 0)
            return out;
        const nlohmann::json reply = nlohmann::json::parse(r.out);
        for (const auto& p : reply["plcs"])
            out[p["plc"].get<std::string>()] = p;
        return out;
    };
    ASSERT_TRUE(w.waitFor([&] {
        auto p = plcs();
        return p["Press"]["mode"] == "MONITOR" && p["Press"]["modelCode"] == 0x11;
    })) << w.cli({"plcs", "--json"}).out << w.server().err();
    EXPECT_EQ(plcs()["Press"]["model"], "C2000H/CQM1/CPM1/CPM1A/SRM1");

    // Each change is one line, and shows at once on the door and the command line.
    struct Change {
        const char* name;
        std::function<void()> apply;
        const char* line;
        std::function<bool(const nlohmann::json&)> shown;
    };
    const Change changes[] = {
        {"to RUN", [&] { sim.setMode(0, SimMode::Run); }, "PLC mode MONITOR -> RUN",
         [](const nlohmann::json& p) { return p["mode"] == "RUN"; }},
        {"fatal error", [&] { sim.setErrors(0, true, false); }, "PLC fatal error",
         [](const nlohmann::json& p) { return p["fatal"] == true; }},
        {"FALS", [&] { sim.setErrors(0, true, true, "MOTOR OVERLOAD"); }, "PLC FALS: MOTOR OVERLOAD",
         [](const nlohmann::json& p) { return p["fals"] == true && p["message"] == "MOTOR OVERLOAD"; }},
        {"cleared", [&] { sim.setErrors(0, false, false); }, "PLC FALS cleared",
         [](const nlohmann::json& p) { return p["fatal"] == false && p["fals"] == false; }},
    };
    EXPECT_TRUE(w.lines("Press").empty()) << "the first status writes no line: " << w.server().err();
    std::size_t seen = 0;
    for (const Change& c : changes) {
        SCOPED_TRACE(c.name);
        c.apply();
        ASSERT_TRUE(w.waitFor([&] { return c.shown(plcs()["Press"]); })) << w.server().err();
        ASSERT_TRUE(w.waitFor([&] {
            const auto l = w.lines("Press");
            return l.size() > seen && l.back().find(c.line) != std::string::npos;
        })) << w.server().err();
        seen = w.lines("Press").size();
    }
    // "cleared" took both flags away: two lines, and no more once nothing changes.
    EXPECT_EQ(seen, 5u) << w.server().err();
    const RunResult table = w.cli({"plcs"});
    EXPECT_EQ(table.out.substr(0, table.out.find('\n')),
              "plc\tunit\tport\tmode\tmodel\tfatal\tfals\tmessage\tlastResult\tlastText");
    EXPECT_NE(table.out.find("Press\t0\tCOM1\tRUN\tC2000H/CQM1/CPM1/CPM1A/SRM1\tfalse\tfalse\t\t0\t"),
              std::string::npos)
        << table.out;

    // In RUN the PLC refuses the write, and the client is told why.
    const RunResult write = w.cli({"write", "Press.Types.D", "5"});
    EXPECT_EQ(write.exitCode, 1);
    EXPECT_NE(write.err.find("RUN mode and refuses writes; it must be in MONITOR mode"), std::string::npos) << write.err;

    // The unit that answers IC: polled as ever, no mode, no model, no line, no failure.
    EXPECT_TRUE(w.shows({{"Old.Types.D", "0 0xC0"}}));
    const auto old = plcs()["Old"];
    EXPECT_TRUE(old["mode"].is_null() && old["model"].is_null()) << old.dump();
    EXPECT_TRUE(w.lines("Old").empty()) << w.server().err();
    const nlohmann::json stats = nlohmann::json::parse(w.cli({"stats", "--json"}).out);
    for (const auto& p : stats["plcs"]) {
        if (p["plc"] == "Old") {
            EXPECT_EQ(p["failures"], 0) << p.dump();
        }
    }
    EXPECT_EQ(seen, w.lines("Press").size()) << "no further line: " << w.server().err();
    sim.stop();
}

} // namespace
