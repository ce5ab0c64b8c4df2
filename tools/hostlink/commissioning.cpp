#include "tools/hostlink/commissioning.h"

#include <cstdio>
#include <ostream>
#include <vector>

#include "server/hostlink/hostlink_channel.h"
#include "server/polling/message_catalog.h"
#include "server/hostlink/plc_health_codec.h"
#include "server/hostlink/serial_port.h"

namespace {

const char kHeader[] = "unit\tbaud\tparity\tdataBits\tstopBits\tmodel\tmode\n";
const char kPortName[] = "LINE";
// What TS sends; the unit echoes it.
const char kTestText[] = "VORLASK SCAN";

// The settings C-series lines use, the most common first.
const LineSetting kUsual[] = {
    {9600, "EVEN", 7, 2}, {19200, "EVEN", 7, 2}, {4800, "EVEN", 7, 2}, {2400, "EVEN", 7, 2},
    {1200, "EVEN", 7, 2}, {9600, "ODD", 7, 2},   {9600, "NO", 8, 1},   {19200, "NO", 8, 1},
};

// A channel on one setting with a route for every unit of the range (route n is unit first+n-1).
struct UnitLine {
    UnitLine(const MakeLine& makeLine, const LineSetting& s, unsigned first, unsigned last, int timeoutMs)
        : channel([&](std::string_view, const SerialSettings& settings) { return makeLine(settings); }), first(first)
    {
        channel.addPort(kPortName, s.baud, s.parity, s.stopBits, s.dataBits);
        if (timeoutMs > 0) {
            CommTimeouts t;
            t.readTotalTimeoutConstant = timeoutMs;
            channel.findPort(kPortName)->setTimeouts(t);
        }
        std::vector<PlcRoute> routes;
        for (unsigned u = first; u <= last; ++u)
            routes.push_back(PlcRoute::make(static_cast<std::uint8_t>(u), kPortName));
        channel.setRoutes(routes);
    }
    HostLinkResult select(unsigned unit) { return channel.selectPlc(unit - first + 1); }
    // True when the unit echoes the test text.
    bool answers(unsigned unit)
    {
        if (select(unit) != kHostLinkOk)
            return false;
        // A unit that does not know TS still answers (with IC).
        std::string echo;
        const HostLinkResult r = channel.command("TS", kTestText, false, &echo);
        return (r == kHostLinkOk && echo == kTestText) || r == kHostLinkNotSupported;
    }
    HostLinkChannel channel;
    unsigned first;
};

std::string resultText(HostLinkResult r)
{
    if (r == kHostLinkNotSupported)
        return "the unit does not know the command (IC)";
    std::string text = MessageCatalog::instance().textFor(static_cast<std::uint32_t>(r));
    return text.empty() ? "communication error" : text;
}

// The row of a unit that answered: its model and mode where it tells them.
void printRow(UnitLine& line, const LineSetting& s, unsigned unit, std::ostream& out)
{
    std::string data, model, mode;
    if (line.channel.command("MM", {}, true, &data) == kHostLinkOk)
        if (auto code = parseModelData(data))
            model = modelName(*code);
    if (line.channel.command("MS", {}, true, &data) == kHostLinkOk)
        if (auto status = parseStatusData(data); status && status->modeKnown)
            mode = modeName(status->mode);
    out << unit << '\t' << s.baud << '\t' << s.parity << '\t' << s.dataBits << '\t' << s.stopBits << '\t' << model
        << '\t' << mode << '\n';
}

} // namespace

int scanLine(const MakeLine& makeLine, const LineSetting& setting, const ScanOptions& options, std::ostream& out,
             std::ostream& err)
{
    // The setting given first, then (--auto) the usual ones it is not.
    std::vector<LineSetting> settings{setting};
    if (options.autoSettings) {
        for (const LineSetting& s : kUsual)
            if (s.baud != setting.baud || s.parity != setting.parity || s.dataBits != setting.dataBits ||
                s.stopBits != setting.stopBits)
                settings.push_back(s);
    }
    out << kHeader;
    for (const LineSetting& s : settings) {
        UnitLine line(makeLine, s, options.firstUnit, options.lastUnit, options.timeoutMs);
        if (line.select(options.firstUnit) != kHostLinkOk) {
            err << "hostlink: the port cannot be opened";
            if (const Line* l = line.channel.findPort(kPortName)->line(); l && !l->lastError().empty())
                err << " (" << l->lastError() << ")";
            err << "\n";
            return 1;
        }
        int found = 0;
        for (unsigned unit = options.firstUnit; unit <= options.lastUnit; ++unit) {
            if (!line.answers(unit))
                continue;
            printRow(line, s, unit, out);
            out.flush();
            ++found;
        }
        if (found > 0)
            return 0;
        if (options.autoSettings)
            err << "hostlink: no unit answers at " << s.baud << " " << s.dataBits << s.parity[0] << s.stopBits << "\n";
    }
    err << "hostlink: no unit answered\n";
    return 1;
}

int unitStatus(const MakeLine& makeLine, const LineSetting& setting, unsigned unit, std::ostream& out,
               std::ostream& err)
{
    UnitLine line(makeLine, setting, unit, unit, 0);
    if (!line.answers(unit)) {
        err << "hostlink: unit " << unit << " does not answer\n";
        return 1;
    }
    out << kHeader;
    printRow(line, setting, unit, out);
    return 0;
}

int changeMode(const MakeLine& makeLine, const LineSetting& setting, unsigned unit, const std::string& mode,
               std::ostream& err)
{
    const auto wanted = modeFromName(mode);
    if (!wanted)
        return 2; // checked before: the caller says it
    UnitLine line(makeLine, setting, unit, unit, 0);
    HostLinkResult r = line.select(unit);
    if (r == kHostLinkOk) {
        char code[3];
        std::snprintf(code, sizeof code, "%02X", modeChangeCode(*wanted));
        r = line.channel.command("SC", code, true, nullptr);
    }
    if (r != kHostLinkOk) {
        err << "result " << r << ": " << resultText(r) << "\n";
        return 1;
    }
    return 0;
}
