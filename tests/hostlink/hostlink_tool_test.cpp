// The hostlink program against the simulator running in this process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "tests/hostlink/sim_fixture.h"
#include "tools/plcsim/plc_simulator.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

class HostlinkTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* bin = std::getenv("VORLASK_BIN");
        ASSERT_NE(bin, nullptr);
        tool = std::string(bin) + "/hostlink";
        PlcSimulator::Options o;
        o.units = {0, 2};
        o.linkPath = folder.link;
        sim = std::make_unique<PlcSimulator>(o);
        ASSERT_TRUE(sim->start());
    }

    ToolRun run(const std::string& args)
    {
        const std::string errFile = (folder.root / "stderr").string();
        const std::string command = tool + " " + args + " 2>" + errFile;
        ToolRun r;
        FILE* p = ::popen(command.c_str(), "r");
        if (!p)
            return r;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
            r.out.append(buffer, n);
        const int status = ::pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(errFile);
        std::stringstream s;
        s << in.rdbuf();
        r.err = s.str();
        return r;
    }

    std::string port() const { return "--port " + folder.link; }

    SimFolder folder;
    std::string tool;
    std::unique_ptr<PlcSimulator> sim;
};

} // namespace

TEST_F(HostlinkTool, HundredWordReadPrintsOneWordPerLineOverFourFrames)
{
    std::vector<std::uint16_t> values(100);
    std::string expected;
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<std::uint16_t>(0xA000 + i * 7);
        char line[8];
        std::snprintf(line, sizeof line, "%04X\n", unsigned(values[i]));
        expected += line;
    }
    sim->setWords(0, MemoryArea::DM, 100, values);
    sim->resetCounters();
    const ToolRun r = run(port() + " --trace read DM 100 100");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(sim->counters().framesOut, 4u);
    // The trace shows the command, the reply frames and the three lone CRs, CR as \r.
    EXPECT_NE(r.err.find("> @00RD01000100"), std::string::npos) << r.err;
    std::size_t loneCrs = 0;
    for (std::size_t at = 0; (at = r.err.find("> \\r\n", at)) != std::string::npos; ++at)
        ++loneCrs;
    EXPECT_EQ(loneCrs, 3u) << r.err;
}

TEST_F(HostlinkTool, WriteThenReadEveryArea)
{
    for (const char* area : {"LR", "HR", "DM", "AR", "IR", "TC"}) {
        const ToolRun w = run(port() + " --unit 2 write " + area + " 5 0001 BEEF ffff");
        EXPECT_EQ(w.status, 0) << area << w.err;
        EXPECT_EQ(w.out, "");
        const ToolRun r = run(port() + " --unit 2 read " + area + " 5 3");
        EXPECT_EQ(r.status, 0) << area << r.err;
        EXPECT_EQ(r.out, "0001\nBEEF\nFFFF\n") << area;
        EXPECT_EQ(sim->word(0, areaFromPrefix(area), 6), 0) << "unit 0 untouched " << area;
    }
    EXPECT_EQ(run(port() + " --unit 2 write TG 9 1 0 1").status, 0);
    const ToolRun r = run(port() + " --unit 2 read TG 9 3");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\n0\n1\n");
    EXPECT_EQ(sim->words(2, MemoryArea::TG, 9, 3), (std::vector<std::uint16_t>{1, 0, 1}));
}

TEST_F(HostlinkTool, FailedTransactionsPrintTheirResultAndExitOne)
{
    sim->setRunLock(true);
    sim->setMode(0, SimMode::Run);
    ToolRun r = run(port() + " write DM 0 0001");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("result 70: ", 0), 0u) << r.err;
    EXPECT_GT(r.err.size(), std::string("result 70: \n").size());

    r = run(port() + " read DM 6600 100");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("result 65: ", 0), 0u) << r.err;

    r = run("--port " + (folder.root / "no-such-line").string() + " read DM 0 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("result 16: ", 0), 0u) << r.err;
}

TEST_F(HostlinkTool, UsageErrorsExitTwo)
{
    const char* bad[] = {
        "read DM 0 1",                     // no port
        "--port X read XX 0 1",            // unknown area
        "--port X read DM 0",              // no count
        "--port X read DM 10000 1",        // address beyond four digits
        "--port X write DM 0 123",         // not four hex digits
        "--port X write TG 0 2",           // flags are 0 or 1
        "--port X --parity MARK read DM 0 1",
        "--port X --unit 32 read DM 0 1",
        "--port X --bogus read DM 0 1",
        "--port X erase DM 0 1",
        "--port X scan --units 5-2",
        "--port X scan --timeout 0",
        "--port X mode stop --yes",
    };
    for (const char* args : bad) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage: hostlink"), std::string::npos) << args;
    }
}

TEST_F(HostlinkTool, HelpAndVersion)
{
    ToolRun r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("read AREA ADDRESS COUNT"), std::string::npos);
    r = run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("hostlink ", 0), 0u);
}

TEST_F(HostlinkTool, ScanFindsTheUnitsThatAnswerAndAModeChangeNeedsYes)
{
    sim->stop();
    PlcSimulator::Options o;
    o.units = {0, 5};
    o.linkPath = folder.link;
    sim = std::make_unique<PlcSimulator>(o);
    sim->setModel(5, 0x11);
    sim->setMode(5, SimMode::Run);
    ASSERT_TRUE(sim->start());
    const std::string header = "unit\tbaud\tparity\tdataBits\tstopBits\tmodel\tmode\n";
    const std::string unit0 = "0\t9600\tEVEN\t7\t2\tC20H/C28H/C40H/C200H/C200HS\tMONITOR\n";

    ToolRun r = run(port() + " scan --units 0-7 --timeout 100");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, header + unit0 + "5\t9600\tEVEN\t7\t2\tC2000H/CQM1/CPM1/CPM1A/SRM1\tRUN\n");
    r = run(port() + " scan --units 1-4 --timeout 50");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, header);
    r = run(port() + " scan --units 0-1 --timeout 50 --auto");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, header + unit0);

    r = run(port() + " --unit 5 mode program");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
    EXPECT_EQ(sim->mode(5), SimMode::Run);
    r = run(port() + " --unit 5 mode program --yes");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim->mode(5), SimMode::Program);
    r = run(port() + " --unit 5 status");
    EXPECT_EQ(r.out, header + "5\t9600\tEVEN\t7\t2\tC2000H/CQM1/CPM1/CPM1A/SRM1\tPROGRAM\n") << r.err;
    r = run(port() + " --unit 3 status");
    EXPECT_EQ(r.status, 1);
}
