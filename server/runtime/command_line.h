// The server's command line: our own options first, then one of the switch words that
// clients and installers pass (-Embedding, -RegServer, ...), judged on what remains.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class SwitchAction {
    Run,          // normal run (no switch, or a word we do not know)
    RegServer,    // register and exit 0
    UnregServer,  // unregister and exit 0
};

struct CommandLine {
    // Taken out before the switch word is looked at.
    bool headless = false;
    bool logFile = false;         // "Log on File" on from the start
    bool help = false;
    bool version = false;
    std::string socketPath;       // empty: not given on the command line
    std::size_t maxClients = 256; // door connections at once
    bool opcua = false;           // run the OPC UA gateway beside the server
    std::vector<std::string> opcuaArgs; // more words for the gateway (--opcua-args)
    std::string mqttBroker;       // non-empty: run the MQTT publisher to this broker
    std::vector<std::string> mqttArgs;  // more words for the publisher (--mqtt-args)
    bool web = false;             // run the web interface beside the server
    std::vector<std::string> webArgs;   // more words for it (--web-args)
    std::string usageError;       // non-empty: our own options were malformed

    // Judged on the rest, joined by single blanks.
    std::string remainder;
    SwitchAction action = SwitchAction::Run;
    bool startedByCom = false;
    bool testToolMode = false;
};

// The switch word rules alone: a leading "-" or "/", the rest compared whole and without
// regard to case with REGSERVER, UNREGSERVER, EMBEDDING, EMBEDDED, then "ctt".
void judgeSwitchWord(const std::string& text, CommandLine& out);

// args are the words after the program name.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// Environment defaults (VORLASK_HEADLESS=1, VORLASK_SOCKET) for what the command line left open.
void applyEnvironment(CommandLine& cmd);

std::string commandLineUsage();
