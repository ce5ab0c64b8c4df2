#include "server/runtime/command_line.h"

#include <sstream>

#include <cctype>
#include <cstdlib>

namespace {

std::string upperCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

void judgeSwitchWord(const std::string& text, CommandLine& out)
{
    out.action = SwitchAction::Run;
    out.startedByCom = false;
    out.testToolMode = false;
    if (text.empty() || (text[0] != '-' && text[0] != '/'))
        return;
    // The whole rest is the word: "-Embedding extra" is no switch at all.
    const std::string word = upperCase(text.substr(1));
    if (word == "REGSERVER")
        out.action = SwitchAction::RegServer;
    else if (word == "UNREGSERVER")
        out.action = SwitchAction::UnregServer;
    else if (word == "EMBEDDING" || word == "EMBEDDED")
        out.startedByCom = true;
    if (word == "CTT")
        out.testToolMode = true;
}

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine cmd;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--headless") {
            cmd.headless = true;
        } else if (a == "--log-file") {
            cmd.logFile = true;
        } else if (a == "--help") {
            cmd.help = true;
        } else if (a == "--version") {
            cmd.version = true;
        } else if (a == "--socket") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                cmd.usageError = "--socket needs a path";
            } else {
                cmd.socketPath = args[++i];
            }
        } else if (a == "--max-clients" || a.rfind("--max-clients=", 0) == 0) {
            std::string n;
            if (a.size() > 13)
                n = a.substr(14);
            else if (i + 1 < args.size())
                n = args[++i];
            if (n.empty() || n.size() > 6 || n.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(n) == 0)
                cmd.usageError = "--max-clients needs a number from 1 to 999999";
            else
                cmd.maxClients = std::stoul(n);
        } else if (a == "--opcua") {
            cmd.opcua = true;
        } else if (a == "--web") {
            cmd.web = true;
        } else if (a == "--opcua-args" || a == "--mqtt-args" || a == "--web-args") {
            if (i + 1 >= args.size()) {
                cmd.usageError = a + " needs the gateway's options in one word";
            } else {
                cmd.opcua = cmd.opcua || a == "--opcua-args";
                auto& into = a == "--opcua-args" ? cmd.opcuaArgs : a == "--mqtt-args" ? cmd.mqttArgs : cmd.webArgs;
                std::istringstream words(args[++i]);
                for (std::string w; words >> w;)
                    into.push_back(w);
            }
        } else if (a == "--mqtt") {
            if (i + 1 >= args.size() || args[i + 1].find("://") == std::string::npos)
                cmd.usageError = "--mqtt needs the broker's URL, e.g. mqtt://localhost:1883";
            else
                cmd.mqttBroker = args[++i];
        } else if (a.rfind("--socket=", 0) == 0) {
            cmd.socketPath = a.substr(9);
            if (cmd.socketPath.empty())
                cmd.usageError = "--socket needs a path";
        } else {
            rest.push_back(a);
        }
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (i)
            cmd.remainder += ' ';
        cmd.remainder += rest[i];
    }
    if (!cmd.mqttArgs.empty() && cmd.mqttBroker.empty() && cmd.usageError.empty())
        cmd.usageError = "--mqtt-args needs --mqtt URL";
    if (!cmd.webArgs.empty() && !cmd.web && cmd.usageError.empty())
        cmd.usageError = "--web-args needs --web";
    judgeSwitchWord(cmd.remainder, cmd);
    return cmd;
}

void applyEnvironment(CommandLine& cmd)
{
    if (const char* h = std::getenv("VORLASK_HEADLESS"); h && std::string(h) == "1")
        cmd.headless = true;
    if (cmd.socketPath.empty()) {
        if (const char* s = std::getenv("VORLASK_SOCKET"); s && *s)
            cmd.socketPath = s;
    }
}

std::string commandLineUsage()
{
    return "usage: vorlask [--headless] [--log-file] [--socket PATH] [--max-clients N] [--opcua] [--opcua-args ARGS]\n"
           "               [--mqtt URL] [--mqtt-args ARGS] [--web] [--web-args ARGS]\n"
           "               [-REGSERVER | -UNREGSERVER | -EMBEDDING | -ctt]\n"
           "       vorlask --help | --version\n"
           "\n"
           "  --headless      no window: messages go to standard error, SIGINT/SIGTERM stop the server\n"
           "                  (also VORLASK_HEADLESS=1, or when no display is available)\n"
           "  --log-file      \"Log on File\" from the start: message lines also go to Log.err beside\n"
           "                  vorlask, or in /var/log/vorlask when that folder is not writable\n"
           "  --socket PATH   the local door's socket (also VORLASK_SOCKET; default\n"
           "                  $XDG_RUNTIME_DIR/vorlask.sock, else /tmp/vorlask-<uid>/vorlask.sock)\n"
           "  --max-clients N clients the door serves at once (default 256); the next is refused\n"
           "  --opcua         run the OPC UA server (vorlask-opcua, beside vorlask) on the door,\n"
           "                  started again if it ends, stopped with the server\n"
           "  --opcua-args ARGS  options for vorlask-opcua in one word, e.g. \"--port 4841\" (implies --opcua)\n"
           "  --mqtt URL      run the MQTT publisher (vorlask-mqtt, beside vorlask) on the door,\n"
           "                  publishing to the broker at URL; supervised like --opcua\n"
           "  --mqtt-args ARGS  options for vorlask-mqtt in one word, e.g. \"--format sparkplug\"\n"
           "  --web           run the web interface (vorlask-web, beside vorlask: status page, REST,\n"
           "                  metrics) on the door; supervised like --opcua\n"
           "  --web-args ARGS options for vorlask-web in one word, e.g. \"--port 8081\" (needs --web)\n"
           "  -REGSERVER      write the server's registration and categories, then exit\n"
           "  -UNREGSERVER    remove them, then exit\n"
           "  -EMBEDDING      started for a client: the server ends when its last client leaves\n"
           "  -ctt            test tool mode\n";
}
