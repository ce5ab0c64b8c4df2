// hostlink: reads and writes PLC words over a Host Link line, for commissioning by hand.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/tool_args.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/polling/message_catalog.h"
#include "server/hostlink/plc_health_codec.h"
#include "server/hostlink/port_names.h"
#include "tools/hostlink/commissioning.h"
#include "tools/hostlink/tracing_line.h"

namespace {

const char kUsage[] =
    "usage: hostlink --port DEVICE [--unit N] [--baud N] [--parity NO|ODD|EVEN] [--data-bits N]\n"
    "                [--stop-bits N] [--trace] read AREA ADDRESS COUNT\n"
    "       hostlink --port DEVICE [--unit N] ... write AREA ADDRESS WORD...\n"
    "       hostlink --port DEVICE ... scan [--units A-B] [--timeout MS] [--auto]\n"
    "       hostlink --port DEVICE [--unit N] ... status\n"
    "       hostlink --port DEVICE [--unit N] ... mode program|monitor|run --yes\n"
    "\n"
    "AREA is LR, HR, DM, AR, IR, TC or TG; ADDRESS and COUNT are decimal; each WORD is 4 hex\n"
    "digits (TG: 0 or 1). Defaults: unit 0, 9600 baud, EVEN parity, 7 data bits, 2 stop bits.\n"
    "DEVICE is a device path, a port name such as COM3 (mapped through the registry), or a\n"
    "device server: tcp://HOST:PORT, rfc2217://HOST:PORT or tcp-listen://ADDR:PORT.\n"
    "read prints one word per line; --trace shows every frame on standard error.\n"
    "scan asks each unit of the range (default 0-31) to echo a test text and prints\n"
    "\"unit baud parity dataBits stopBits model mode\" for each that answers; a silent unit costs\n"
    "--timeout (200 ms). --auto tries the settings given, then the usual ones (9600 7E2 first),\n"
    "until a unit answers.\n"
    "status prints that row for --unit. mode changes the PLC's operating mode: that stops or\n"
    "starts the machine it runs, so it is sent only with --yes.\n"
    "Exit status of scan: 0 some unit answered, 1 none (or the port cannot be opened).\n"
    "Exit status: 0 done, 1 the transaction failed (\"result N: TEXT\"), 2 usage error.\n";

const char kVersion[] = "hostlink 1.1.0\n";

int usageError(const std::string& why) { return reportUsageError("hostlink", why, kUsage); }

// Shown when Vorlask.dat is missing or lacks the code.
std::string plainText(HostLinkResult result)
{
    switch (result) {
    case 1: return "sending to the serial port failed";
    case 4: return "no reply from the PLC";
    case 16: return "the serial port cannot be opened";
    case 48: return "garbled reply from the PLC";
    case 49: return "reply check (FCS) failed";
    case 64: return "unexpected reply to an intermediate write frame";
    case 65: return "address over (end code 04)";
    case 66: return "memory area not supported";
    case 67: return "user memory protected (end code 23)";
    case 68: return "entry number data error (end code 15)";
    case 69: return "the PLC returned an error end code";
    case 70: return "not executable in RUN mode (end code 01)";
    case 71: return "not executable in MONITOR mode (end code 02)";
    case 72: return "not executable in PROGRAM mode (end code 0B)";
    default: return "communication error";
    }
}

int failed(HostLinkResult result)
{
    MessageCatalog& catalog = MessageCatalog::instance();
    catalog.load(moduleDirectory() / "Vorlask.dat");
    std::string text = catalog.textFor(static_cast<std::uint32_t>(result));
    if (text.empty())
        text = plainText(result);
    std::cerr << "result " << result << ": " << text << "\n";
    return 1;
}

// scan, status and mode (rest[0]) with their own arguments.
int commission(const std::string& port, const LineSetting& setting, unsigned unit,
               const std::vector<std::string>& rest, bool trace)
{
    const std::string device = resolvePortDevice(port);
    const MakeLine makeLine = [&](const SerialSettings& settings) -> std::unique_ptr<Line> {
        auto line = makeTargetLine(device, settings);
        if (!trace)
            return line;
        return std::make_unique<TracingLine>(std::move(line), std::cerr);
    };
    if (rest[0] == "status") {
        if (rest.size() != 1)
            return usageError("status takes no arguments");
        return unitStatus(makeLine, setting, unit, std::cout, std::cerr);
    }
    if (rest[0] == "mode") {
        const bool yes = rest.size() == 3 && rest[2] == "--yes";
        if (rest.size() < 2 || rest.size() > 3 || (rest.size() == 3 && !yes) || !modeFromName(rest[1]))
            return usageError("mode takes program, monitor or run, and --yes");
        if (!yes) {
            std::cerr << "hostlink: a mode change stops or starts the machine the PLC runs; "
                         "add --yes to send it\n";
            return 2;
        }
        return changeMode(makeLine, setting, unit, rest[1], std::cerr);
    }
    ScanOptions options;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        unsigned long n = 0, m = 0;
        if (rest[i] == "--auto") {
            options.autoSettings = true;
        } else if (rest[i] == "--timeout" && i + 1 < rest.size()) {
            if (!decimalArg(rest[++i], 60000, &n) || n < 10)
                return usageError("--timeout takes 10 to 60000 milliseconds");
            options.timeoutMs = static_cast<int>(n);
        } else if (rest[i] == "--units" && i + 1 < rest.size()) {
            const std::string& r = rest[++i];
            const auto dash = r.find('-');
            if (dash == std::string::npos || !decimalArg(r.substr(0, dash), 31, &n) || !decimalArg(r.substr(dash + 1), 31, &m) ||
                m < n)
                return usageError("--units takes A-B within 0-31");
            options.firstUnit = static_cast<unsigned>(n);
            options.lastUnit = static_cast<unsigned>(m);
        } else {
            return usageError("unknown scan argument " + rest[i]);
        }
    }
    return scanLine(makeLine, setting, options, std::cout, std::cerr);
}

} // namespace

int main(int argc, char** argv)
{
    std::string port;
    unsigned long unit = 0, baud = 9600, dataBits = 7, stopBits = 2;
    std::string parity = "EVEN";
    bool trace = false;
    std::vector<std::string> rest;

    ToolArgs args(argc, argv);
    const auto value = [&](std::string* out) { return args.value(out); };
    while (args.next()) {
        const std::string& arg = args.arg();
        if (!rest.empty()) {
            rest.push_back(arg);
            continue;
        }
        std::string v;
        if (args.answered(kUsage, kVersion)) {
            return 0;
        } else if (arg == "--port") {
            if (!value(&port) || port.empty())
                return usageError("--port takes a device");
        } else if (arg == "--unit") {
            if (!value(&v) || !decimalArg(v, 31, &unit))
                return usageError("--unit takes a number 0 to 31");
        } else if (arg == "--baud") {
            if (!value(&v) || !decimalArg(v, 4000000, &baud) || baud == 0)
                return usageError("--baud takes a baud rate");
        } else if (arg == "--parity") {
            if (!value(&parity) || (parity != "NO" && parity != "ODD" && parity != "EVEN"))
                return usageError("--parity takes NO, ODD or EVEN");
        } else if (arg == "--data-bits") {
            if (!value(&v) || !decimalArg(v, 8, &dataBits) || dataBits < 5)
                return usageError("--data-bits takes 5 to 8");
        } else if (arg == "--stop-bits") {
            if (!value(&v) || !decimalArg(v, 2, &stopBits) || stopBits < 1)
                return usageError("--stop-bits takes 1 or 2");
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "read" || arg == "write" || arg == "scan" || arg == "status" || arg == "mode") {
            rest.push_back(arg);
        } else {
            return usageError("unknown argument " + arg);
        }
    }
    if (port.empty())
        return usageError("--port is required");
    if (!rest.empty() && (rest[0] == "scan" || rest[0] == "status" || rest[0] == "mode")) {
        MessageCatalog::instance().load(moduleDirectory() / "Vorlask.dat");
        return commission(port, LineSetting{static_cast<std::uint32_t>(baud), parity, static_cast<int>(dataBits),
                                            static_cast<int>(stopBits)},
                          static_cast<unsigned>(unit), rest, trace);
    }
    if (rest.size() < 3)
        return usageError("read or write needs AREA ADDRESS and more");
    const bool isRead = rest[0] == "read";
    const MemoryArea area = areaFromPrefix(rest[1]);
    if (area == MemoryArea::None)
        return usageError("unknown area " + rest[1]);
    unsigned long address = 0;
    // Host Link carries 4 address digits; a larger number would silently hit another word.
    if (!decimalArg(rest[2], 9999, &address))
        return usageError("ADDRESS is a decimal number 0 to 9999");
    unsigned long count = 0;
    std::vector<std::uint16_t> words;
    if (isRead) {
        if (rest.size() != 4 || !decimalArg(rest[3], 9999, &count))
            return usageError("read takes AREA ADDRESS COUNT (COUNT 0 to 9999)");
    } else {
        if (rest.size() < 4)
            return usageError("write takes AREA ADDRESS WORD...");
        for (std::size_t i = 3; i < rest.size(); ++i) {
            const std::string& w = rest[i];
            if (area == MemoryArea::TG) {
                if (w != "0" && w != "1")
                    return usageError("a TG word is 0 or 1: " + w);
                words.push_back(static_cast<std::uint16_t>(w[0] - '0'));
            } else {
                if (w.size() != 4 || w.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
                    return usageError("a WORD is 4 hex digits: " + w);
                words.push_back(static_cast<std::uint16_t>(std::stoul(w, nullptr, 16)));
            }
        }
        if (words.size() > 9999)
            return usageError("too many words");
        count = words.size();
    }

    const std::string device = resolvePortDevice(port);
    Line* opened = nullptr;
    HostLinkChannel channel([&](std::string_view, const SerialSettings& settings) -> std::unique_ptr<Line> {
        auto line = makeTargetLine(device, settings);
        opened = line.get();
        if (!trace)
            return line;
        return std::make_unique<TracingLine>(std::move(line), std::cerr);
    });
    const char kName[] = "LINE";
    channel.addPort(kName, static_cast<std::uint32_t>(baud), parity, static_cast<int>(stopBits),
                    static_cast<int>(dataBits));
    const PlcRoute route = PlcRoute::make(static_cast<std::uint8_t>(unit), kName);
    channel.setRoutes(&route, 1);
    if (const HostLinkResult r = channel.selectPlc(1); r != kHostLinkOk) {
        const int status = failed(r);
        if (opened && !opened->lastError().empty())
            std::cerr << "  (" << opened->lastError() << ")\n";
        return status;
    }

    if (isRead) {
        words.assign(count, 0);
        const HostLinkResult r = channel.readWords(area, static_cast<std::uint16_t>(address),
                                                   static_cast<std::uint16_t>(count), words.data());
        if (r != kHostLinkOk)
            return failed(r);
        for (std::uint16_t w : words) {
            if (area == MemoryArea::TG)
                std::printf("%u\n", unsigned(w));
            else
                std::printf("%04X\n", unsigned(w));
        }
        return 0;
    }
    const HostLinkResult r = channel.writeWords(area, static_cast<std::uint16_t>(address),
                                                static_cast<std::uint16_t>(count), words.data());
    return r == kHostLinkOk ? 0 : failed(r);
}
