// vorlask-cli: a command-line OPC client of the running server, through its local door.
#include "common/tool_args.h"
#include "server/door_base/door_socket_path.h"
#include "tools/cli/cli_value.h"
#include "tools/cli/cli_stats.h"
#include "tools/cli/door_client.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#ifndef VORLASK_VERSION
#define VORLASK_VERSION "0"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUnreachable = 3;

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int)
{
    interrupted = 1;
}

const char* kUsage =
    "usage: vorlask-cli [--socket PATH] COMMAND ...\n"
    "\n"
    "  browse                                  every item ID, one per line\n"
    "  props ITEMID                            datatype, access and description of an item\n"
    "  read [--device] ITEMID...               ITEMID<TAB>VALUE<TAB>QUALITY per item\n"
    "  write ITEMID VALUE                      write one value\n"
    "  watch [--rate MS] [--count N] ITEMID... print data changes until N changes or Ctrl-C\n"
    "  plcs [--json]                           per PLC: unit, port, mode, model, fatal error and\n"
    "                                          FALS flags, FAL/FALS message, last result\n"
    "  stats [--blocks] [--json] [--reset]     per PLC: commands, failures, last result, response\n"
    "                                          times, line use; --blocks adds the cyclic blocks'\n"
    "                                          achieved intervals; --reset starts them afresh\n"
    "\n"
    "VALUE: integers in decimal, reals, true/false, \"strings\" with C escapes, [a,b,c] arrays.\n"
    "QUALITY: the OPC quality as 0x and two hex digits (0xC0 good).\n"
    "The socket is --socket PATH, else $VORLASK_SOCKET, else $XDG_RUNTIME_DIR/vorlask.sock,\n"
    "else /tmp/vorlask-<uid>/vorlask.sock; when that one is not there but the installed\n"
    "service's /run/vorlask/vorlask.sock is, that one.\n"
    "Exit: 0 done, 1 refused by the server, 2 usage error, 3 server not reachable.\n";

int usage(const std::string& why) { return reportUsageError("vorlask-cli", why, kUsage); }

int lost()
{
    std::cerr << "vorlask-cli: the server closed the connection\n";
    return kExitUnreachable;
}

std::string errorOf(const nlohmann::json& reply)
{
    if (reply.contains("error") && reply["error"].is_string())
        return reply["error"].get<std::string>();
    return "refused by the server";
}

void printValueLine(const std::string& item, const nlohmann::json& entry)
{
    const unsigned quality = entry.value("quality", 0u);
    std::cout << item << '\t' << formatCliValue(entry.contains("value") ? entry["value"] : nlohmann::json())
              << '\t' << formatQuality(quality) << '\n';
}

bool parseNumberOption(const std::string& text, long long minimum, long long& out)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    try {
        out = std::stoll(text);
    } catch (...) {
        return false;
    }
    return out >= minimum;
}

int runBrowse(DoorClient& door)
{
    auto reply = door.call({{"op", "browse"}});
    if (!reply)
        return lost();
    if (!reply->value("ok", false)) {
        std::cerr << "vorlask-cli: " << errorOf(*reply) << '\n';
        return kExitRefused;
    }
    for (const auto& id : (*reply)["items"])
        std::cout << id.get<std::string>() << '\n';
    return kExitOk;
}

int runProps(DoorClient& door, const std::string& item)
{
    auto reply = door.call({{"op", "props"}, {"item", item}});
    if (!reply)
        return lost();
    if (!reply->value("ok", false)) {
        std::cerr << "vorlask-cli: " << item << ": " << errorOf(*reply) << '\n';
        return kExitRefused;
    }
    std::cout << "datatype " << reply->value("datatype", std::string()) << '\n'
              << "access " << reply->value("access", std::string()) << '\n'
              << "description " << reply->value("description", std::string()) << '\n';
    return kExitOk;
}

int runRead(DoorClient& door, const std::vector<std::string>& items, bool device)
{
    auto reply = door.call({{"op", "read"}, {"items", items}, {"source", device ? "device" : "cache"}});
    if (!reply)
        return lost();
    if (!reply->value("ok", false)) {
        std::cerr << "vorlask-cli: " << errorOf(*reply) << '\n';
        return kExitRefused;
    }
    int rc = kExitOk;
    for (const auto& entry : (*reply)["values"]) {
        const std::string item = entry.value("item", std::string());
        if (entry.contains("error")) {
            std::cerr << "vorlask-cli: " << item << ": " << entry["error"].get<std::string>() << '\n';
            rc = kExitRefused;
            continue;
        }
        printValueLine(item, entry);
    }
    return rc;
}

int runWrite(DoorClient& door, const std::string& item, const nlohmann::json& value)
{
    auto reply = door.call({{"op", "write"}, {"items", nlohmann::json::array({{{"item", item}, {"value", value}}})}});
    if (!reply)
        return lost();
    if (!reply->value("ok", false)) {
        std::cerr << "vorlask-cli: " << errorOf(*reply) << '\n';
        return kExitRefused;
    }
    for (const auto& r : (*reply)["results"]) {
        if (!r.value("ok", false)) {
            std::cerr << "vorlask-cli: " << item << ": " << errorOf(r) << '\n';
            return kExitRefused;
        }
    }
    return kExitOk;
}

int runStats(DoorClient& door, bool blocks, bool asJson, bool reset, bool plcsOnly = false)
{
    auto reply = plcsOnly ? door.call({{"op", "plcs"}}) : door.call({{"op", "stats"}, {"reset", reset}});
    if (!reply)
        return lost();
    if (!reply->value("ok", false)) {
        std::cerr << "vorlask-cli: " << errorOf(*reply) << '\n';
        return kExitRefused;
    }
    if (asJson)
        std::cout << reply->dump() << '\n';
    else
        std::cout << (plcsOnly ? plcsTable(*reply) : statsTables(*reply, blocks));
    return kExitOk;
}

int runWatch(DoorClient& door, const std::vector<std::string>& items, long long rate, long long count)
{
    auto group = door.call({{"op", "addGroup"}, {"name", "vorlask-cli watch"}, {"rate", rate}, {"active", true}});
    if (!group)
        return lost();
    if (!group->value("ok", false)) {
        std::cerr << "vorlask-cli: " << errorOf(*group) << '\n';
        return kExitRefused;
    }
    const auto handle = (*group)["group"];
    auto added = door.call({{"op", "addItems"}, {"group", handle}, {"items", items}});
    if (!added)
        return lost();
    if (!added->value("ok", false)) {
        std::cerr << "vorlask-cli: " << errorOf(*added) << '\n';
        return kExitRefused;
    }
    for (const auto& r : (*added)["items"]) {
        if (r.contains("error")) {
            std::cerr << "vorlask-cli: " << r.value("item", std::string()) << ": "
                      << r["error"].get<std::string>() << '\n';
            return kExitRefused;
        }
    }

    long long seen = 0;
    while (!interrupted && (count == 0 || seen < count)) {
        nlohmann::json event;
        const auto w = door.nextEvent(200, event);
        if (w == DoorClient::Wait::Closed)
            return lost();
        if (w == DoorClient::Wait::Timeout)
            continue;
        const std::string kind = event.value("event", std::string());
        if (kind == "shutdown") {
            std::cerr << "vorlask-cli: the server shuts down: " << event.value("reason", std::string()) << '\n';
            return kExitUnreachable;
        }
        if (kind != "dataChange" || event["group"] != handle)
            continue;
        for (const auto& entry : event["items"]) {
            printValueLine(entry.value("item", std::string()), entry);
            if (count && ++seen >= count)
                break;
        }
        std::cout.flush();
    }
    return kExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string socketOption;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return kExitOk;
        }
        if (a == "--version") {
            std::cout << "vorlask-cli " << VORLASK_VERSION << '\n';
            return kExitOk;
        }
        if (a == "--socket") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usage("--socket needs a path");
            socketOption = args[++i];
        } else if (a.rfind("--socket=", 0) == 0) {
            socketOption = a.substr(9);
            if (socketOption.empty())
                return usage("--socket needs a path");
        } else if (a.rfind("--", 0) == 0) {
            return usage("unknown option " + a);
        } else {
            break;
        }
    }
    if (i >= args.size())
        return usage("no command given");
    const std::string command = args[i++];
    std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());

    // Check the whole command line before touching the server.
    bool device = false;
    long long rate = 1000, count = 0;
    bool statsBlocks = false, statsJson = false, statsReset = false;
    std::vector<std::string> items;
    nlohmann::json writeValue;
    if (command == "browse") {
        if (!rest.empty())
            return usage("browse takes no arguments");
    } else if (command == "props") {
        if (rest.size() != 1)
            return usage("props takes one ITEMID");
    } else if (command == "read") {
        for (const auto& a : rest) {
            if (a == "--device")
                device = true;
            else if (a.rfind("--", 0) == 0)
                return usage("unknown read option " + a);
            else
                items.push_back(a);
        }
        if (items.empty())
            return usage("read needs at least one ITEMID");
    } else if (command == "write") {
        if (rest.size() < 2)
            return usage("write takes ITEMID VALUE");
        std::string text = rest[1];
        for (std::size_t k = 2; k < rest.size(); ++k)
            text += " " + rest[k];
        std::string why;
        auto v = parseCliValue(text, &why);
        if (!v)
            return usage("bad VALUE: " + why);
        writeValue = *v;
    } else if (command == "watch") {
        for (std::size_t k = 0; k < rest.size(); ++k) {
            const std::string& a = rest[k];
            if (a == "--rate" || a == "--count") {
                long long n = 0;
                if (k + 1 >= rest.size() || !parseNumberOption(rest[k + 1], a == "--rate" ? 0 : 1, n))
                    return usage(a + " needs a number");
                (a == "--rate" ? rate : count) = n;
                ++k;
            } else if (a.rfind("--", 0) == 0) {
                return usage("unknown watch option " + a);
            } else {
                items.push_back(a);
            }
        }
        if (items.empty())
            return usage("watch needs at least one ITEMID");
    } else if (command == "plcs") {
        for (const auto& a : rest) {
            if (a == "--json")
                statsJson = true;
            else
                return usage("unknown plcs option " + a);
        }
    } else if (command == "stats") {
        for (const auto& a : rest) {
            if (a == "--blocks")
                statsBlocks = true;
            else if (a == "--json")
                statsJson = true;
            else if (a == "--reset")
                statsReset = true;
            else
                return usage("unknown stats option " + a);
        }
    } else {
        return usage("unknown command " + command);
    }

    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    DoorClient door;
    std::string why;
    if (!door.connectTo(resolveClientDoorSocketPath(socketOption), &why)) {
        std::cerr << "vorlask-cli: " << why << '\n';
        return kExitUnreachable;
    }

    int rc = kExitOk;
    if (command == "browse")
        rc = runBrowse(door);
    else if (command == "props")
        rc = runProps(door, rest[0]);
    else if (command == "read")
        rc = runRead(door, items, device);
    else if (command == "write")
        rc = runWrite(door, rest[0], writeValue);
    else if (command == "stats")
        rc = runStats(door, statsBlocks, statsJson, statsReset);
    else if (command == "plcs")
        rc = runStats(door, false, statsJson, false, true);
    else
        rc = runWatch(door, items, rate, count);
    std::cout.flush();
    door.close();
    return rc;
}
