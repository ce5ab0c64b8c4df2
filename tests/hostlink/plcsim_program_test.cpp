// The plcsim program as the demo and the benchmarks start it.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

#include "server/hostlink/hostlink_channel.h"
#include "server/hostlink/serial_port_posix.h"
#include "tests/hostlink/sim_fixture.h"

namespace {

struct Program {
    ~Program() { stop(); }

    bool start(const std::vector<std::string>& args)
    {
        int out[2];
        if (::pipe(out) != 0)
            return false;
        const pid_t parent = ::getpid();
        pid = ::fork();
        if (pid == 0) {
            // The simulator ends with the test, however the test ends.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(127);
            ::dup2(out[1], 1);
            ::close(out[0]);
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdoutFd = out[0];
        // The first line is the terminal's path.
        char c;
        while (::read(stdoutFd, &c, 1) == 1 && c != '\n')
            firstLine += c;
        return pid > 0 && !firstLine.empty();
    }

    int stop()
    {
        if (pid <= 0)
            return -1;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        ::close(stdoutFd);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid = -1;
    int stdoutFd = -1;
    std::string firstLine;
};

std::string bin(const char* name)
{
    const char* dir = std::getenv("VORLASK_BIN");
    return std::string(dir ? dir : ".") + "/" + name;
}

} // namespace

TEST(PlcsimProgram, ServesImageModesFaultsAndDumpsAtExit)
{
    SimFolder folder;
    const std::string image = (folder.root / "in.plc").string();
    const std::string dump = (folder.root / "out.plc").string();
    std::ofstream(image) << "unit 0\nDM 10: 0102 0304\nunit 5\nHR 1: BEEF\n";

    Program sim;
    ASSERT_TRUE(sim.start({bin("plcsim"), "--image", image, "--link", folder.link, "--dump", dump,
                           "--mode", "5:RUN", "--run-lock", "--fault", "0:RH:endcode=23",
                           "--animate", "0:DM 20 count 5 every 60000"}));
    EXPECT_EQ(sim.firstLine, folder.link);

    HostLinkChannel channel([&](std::string_view, const SerialSettings& s) -> std::unique_ptr<Line> {
        return std::make_unique<PosixSerialLine>(folder.link, s);
    });
    channel.addPort("LINE", 9600, "EVEN", 2, 7);
    const std::vector<PlcRoute> routes = {PlcRoute::make(0, "LINE"), PlcRoute::make(5, "LINE")};
    channel.setRoutes(routes);

    ASSERT_EQ(channel.selectPlc(1), 0);
    std::uint16_t w[2] = {};
    EXPECT_EQ(channel.readWords(MemoryArea::DM, 10, 2, w), 0);
    EXPECT_EQ(w[0], 0x0102);
    EXPECT_EQ(w[1], 0x0304);
    EXPECT_EQ(channel.readWords(MemoryArea::DM, 20, 1, w), 0);
    EXPECT_EQ(w[0], 5);  // the animation's first step
    EXPECT_EQ(channel.readWords(MemoryArea::HR, 1, 1, w), 67);
    const std::uint16_t value = 0x00AA;
    EXPECT_EQ(channel.writeWords(MemoryArea::LR, 2, 1, &value), 0);

    ASSERT_EQ(channel.selectPlc(2), 0);
    EXPECT_EQ(channel.readWords(MemoryArea::HR, 1, 1, w), 0);
    EXPECT_EQ(w[0], 0xBEEF);
    EXPECT_EQ(channel.writeWords(MemoryArea::HR, 1, 1, &value), 70);

    EXPECT_EQ(sim.stop(), 0);
    std::ifstream in(dump);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("LR 2: 00AA"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("unit 5\nmode RUN\nHR 1: BEEF"), std::string::npos) << text.str();
    // The link goes with the program.
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder.link)));
}

TEST(PlcsimProgram, BadArgumentsExitTwo)
{
    for (const char* args : {"--unit 40", "--fault 0:RD:loud", "--animate 'DM 0 wobble'", "--baud 0",
                             "--frobnicate"}) {
        const std::string command = bin("plcsim") + " " + args + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status)) << args;
        EXPECT_EQ(WEXITSTATUS(status), 2) << args;
    }
    const std::string help = bin("plcsim") + " --help >/dev/null";
    EXPECT_EQ(std::system(help.c_str()), 0);
}
