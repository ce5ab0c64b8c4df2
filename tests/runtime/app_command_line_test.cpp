#include "server/runtime/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct SwitchCase {
    std::vector<std::string> args;
    SwitchAction action;
    bool startedByCom;
    bool testToolMode;
    bool headless;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const SwitchCase& c, std::ostream* os) { for (const auto& a : c.args) *os << a << ' '; }

class SwitchWords : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(SwitchWords, AreJudgedOnWhatRemainsAfterOurOwnOptions)
{
    const auto& c = GetParam();
    const CommandLine cmd = parseCommandLine(c.args);
    EXPECT_EQ(cmd.action, c.action);
    EXPECT_EQ(cmd.startedByCom, c.startedByCom);
    EXPECT_EQ(cmd.testToolMode, c.testToolMode);
    EXPECT_EQ(cmd.headless, c.headless);
    EXPECT_TRUE(cmd.usageError.empty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, SwitchWords,
    ::testing::Values(
        SwitchCase{{}, SwitchAction::Run, false, false, false},
        SwitchCase{{"/regserver"}, SwitchAction::RegServer, false, false, false},
        SwitchCase{{"-RegServer"}, SwitchAction::RegServer, false, false, false},
        SwitchCase{{"-REGSERVER", "x"}, SwitchAction::Run, false, false, false},
        SwitchCase{{"REGSERVER"}, SwitchAction::Run, false, false, false},
        SwitchCase{{"/UnRegServer"}, SwitchAction::UnregServer, false, false, false},
        SwitchCase{{"-Embedding"}, SwitchAction::Run, true, false, false},
        SwitchCase{{"/EMBEDDED"}, SwitchAction::Run, true, false, false},
        SwitchCase{{"-Embedding", "extra"}, SwitchAction::Run, false, false, false},
        SwitchCase{{"-Embedding", "--headless"}, SwitchAction::Run, true, false, true},
        SwitchCase{{"--headless", "-Embedding"}, SwitchAction::Run, true, false, true},
        SwitchCase{{"-Embedding", "-ctt"}, SwitchAction::Run, false, false, false},
        SwitchCase{{"-ctt"}, SwitchAction::Run, false, true, false},
        SwitchCase{{"/CTT"}, SwitchAction::Run, false, true, false},
        SwitchCase{{"-something"}, SwitchAction::Run, false, false, false},
        SwitchCase{{"-"}, SwitchAction::Run, false, false, false}));

TEST(CommandLine, SocketOptionIsTakenOutWithItsPath)
{
    const CommandLine a = parseCommandLine({"--socket", "/run/v.sock", "/Embedding"});
    EXPECT_EQ(a.socketPath, "/run/v.sock");
    EXPECT_TRUE(a.startedByCom);
    EXPECT_EQ(a.remainder, "/Embedding");

    const CommandLine b = parseCommandLine({"--socket=/x.sock"});
    EXPECT_EQ(b.socketPath, "/x.sock");
    EXPECT_TRUE(b.remainder.empty());
}

TEST(CommandLine, SocketWithoutPathIsAUsageError)
{
    EXPECT_FALSE(parseCommandLine({"--socket"}).usageError.empty());
    EXPECT_FALSE(parseCommandLine({"--socket="}).usageError.empty());
}

TEST(CommandLine, GatewayAndLogOptionsAreTakenOutWithTheirWords)
{
    const CommandLine a = parseCommandLine({"--mqtt", "mqtt://127.0.0.1:1883", "--mqtt-args", "--node cell4  --rate 250",
                                            "--log-file", "--opcua-args", "--port 4841", "--web", "--web-args", "--port 8081",
                                            "-Embedding"});
    EXPECT_TRUE(a.logFile);
    EXPECT_EQ(a.mqttBroker, "mqtt://127.0.0.1:1883");
    EXPECT_EQ(a.mqttArgs, (std::vector<std::string>{"--node", "cell4", "--rate", "250"}));
    EXPECT_TRUE(a.opcua);
    EXPECT_EQ(a.opcuaArgs, (std::vector<std::string>{"--port", "4841"}));
    EXPECT_TRUE(a.web);
    EXPECT_EQ(a.webArgs, (std::vector<std::string>{"--port", "8081"}));
    EXPECT_TRUE(a.startedByCom);
    EXPECT_TRUE(a.usageError.empty());
    EXPECT_TRUE(parseCommandLine({"--web-args", ""}).usageError.empty()) << "an empty value, as the service passes";

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--mqtt"}, {"--mqtt", "-Embedding"}, {"--mqtt-args", "--node x"}, {"--mqtt-args"},
             {"--web-args", "--port 8081"}})
        EXPECT_FALSE(parseCommandLine(args).usageError.empty()) << args.front() << " " << args.size();
}

TEST(CommandLine, HelpAndVersionAreOurOwn)
{
    const CommandLine c = parseCommandLine({"--help", "--version", "-Embedding"});
    EXPECT_TRUE(c.help);
    EXPECT_TRUE(c.version);
    EXPECT_TRUE(c.startedByCom);
}

TEST(CommandLine, EnvironmentFillsWhatTheCommandLineLeftOpen)
{
    ::setenv("VORLASK_HEADLESS", "1", 1);
    ::setenv("VORLASK_SOCKET", "/env.sock", 1);
    CommandLine fromEnv = parseCommandLine({});
    applyEnvironment(fromEnv);
    EXPECT_TRUE(fromEnv.headless);
    EXPECT_EQ(fromEnv.socketPath, "/env.sock");

    CommandLine given = parseCommandLine({"--socket", "/cmd.sock"});
    applyEnvironment(given);
    EXPECT_EQ(given.socketPath, "/cmd.sock");

    ::setenv("VORLASK_HEADLESS", "0", 1);
    CommandLine notHeadless = parseCommandLine({});
    applyEnvironment(notHeadless);
    EXPECT_FALSE(notHeadless.headless);
    ::unsetenv("VORLASK_HEADLESS");
    ::unsetenv("VORLASK_SOCKET");
}

} // namespace
