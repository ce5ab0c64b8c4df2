// plcsim: a Host Link PLC on a pseudo-terminal, for the demo, benchmarks and trials by hand.
#include <csignal>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/tool_args.h"
#include "tools/plcsim/plc_simulator.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
volatile std::sig_atomic_t gDump = 0;

void onStop(int) { gStop = 1; }
void onDump(int) { gDump = 1; }

const char kUsage[] =
    "usage: plcsim [--unit N]... [--link PATH] [--image FILE] [--dump FILE] [--baud N]\n"
    "              [--mode [UNIT:]RUN|MONITOR|PROGRAM] [--model [UNIT:]HH] [--run-lock]\n"
    "              [--fault [UNIT:]CMD:KIND]...\n"
    "              [--animate \"[UNIT:]AREA ADDRESS RULE\"]... [--verbose] [--stats]\n"
    "\n"
    "Simulates Omron C-series PLCs answering Host Link on a pseudo-terminal. The terminal's\n"
    "path is printed on the first line of standard output; the program runs until SIGINT or\n"
    "SIGTERM. SIGUSR1 writes the memory image to the --dump file.\n"
    "\n"
    "  --unit N         answer unit number N (0 to 31); repeat for a multidrop line.\n"
    "                   Default: the units of the image, else 0.\n"
    "  --link PATH      make PATH a symlink to the terminal (replaced if it is a symlink)\n"
    "  --image FILE     load the memory image FILE (format in docs/plcsim.md)\n"
    "  --dump FILE      write the memory image to FILE on SIGUSR1 and at exit\n"
    "  --baud N         pace replies and commands as a line of N baud (11 bits a character)\n"
    "  --mode M         mode of every unit, or UNIT:M for one (MS reads it, SC changes it)\n"
    "  --model HH       the model code MM reports (hex; default 12, the C200H family)\n"
    "  --run-lock       refuse memory writes in RUN with end code 01, as many models do\n"
    "  --fault SPEC     [UNIT:]CMD:KIND with CMD a header (RD, WH, ...) or * and KIND one of\n"
    "                   silence, delay=MS, badfcs, garble, noterm, cut, flood, dribble=MS,\n"
    "                   endcode=HH, ic (the unit does not know the command); a suffix xN\n"
    "                   limits it to the next N commands\n"
    "  --animate RULE   [UNIT:]AREA ADDRESS count [STEP] | bcdcount | sine AMPL OFFSET PERIOD_MS\n"
    "                   | toggle [MASK] | clock, optionally followed by \"every MS\" (default 1000)\n"
    "  --verbose        print every frame on standard error\n"
    "  --stats          print the counters on standard error at exit\n"
    "  --help, --version\n";

int usage(const std::string& why) { return reportUsageError("plcsim", why, kUsage); }

bool parseUnit(const std::string& text, std::uint8_t* unit)
{
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int n = std::stoi(text);
    if (n > 31)
        return false;
    *unit = static_cast<std::uint8_t>(n);
    return true;
}

// "[UNIT:]REST": the unit when one is given.
std::optional<std::uint8_t> splitUnit(std::string& text)
{
    const auto colon = text.find(':');
    std::uint8_t unit = 0;
    if (colon != std::string::npos && parseUnit(text.substr(0, colon), &unit)) {
        text.erase(0, colon + 1);
        return unit;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    PlcSimulator::Options options;
    std::string image, dump;
    std::vector<std::string> modes, models, faults, animations;
    bool runLock = false;
    bool stats = false;
    ToolArgs args(argc, argv);
    const auto value = [&](std::string* out) { return args.value(out); };
    while (args.next()) {
        const std::string& arg = args.arg();
        std::string v;
        unsigned long n = 0;
        if (args.answered(kUsage, "plcsim 1.1.0\n")) {
            return 0;
        } else if (arg == "--unit") {
            std::uint8_t unit = 0;
            if (!value(&v) || !parseUnit(v, &unit))
                return usage("--unit takes a number 0 to 31");
            options.units.push_back(unit);
        } else if (arg == "--link") {
            if (!value(&options.linkPath))
                return usage("--link takes a path");
        } else if (arg == "--image") {
            if (!value(&image))
                return usage("--image takes a file");
        } else if (arg == "--dump") {
            if (!value(&dump))
                return usage("--dump takes a file");
        } else if (arg == "--baud") {
            if (!value(&v) || !decimalArg(v, 9999999, &n) || n == 0)
                return usage("--baud takes a positive number");
            options.baud = static_cast<std::uint32_t>(n);
        } else if (arg == "--mode") {
            if (!value(&v))
                return usage("--mode takes RUN, MONITOR or PROGRAM");
            modes.push_back(v);
        } else if (arg == "--model") {
            if (!value(&v))
                return usage("--model takes [UNIT:]HH");
            models.push_back(v);
        } else if (arg == "--run-lock") {
            runLock = true;
        } else if (arg == "--fault") {
            if (!value(&v))
                return usage("--fault takes [UNIT:]CMD:KIND");
            faults.push_back(v);
        } else if (arg == "--animate") {
            if (!value(&v))
                return usage("--animate takes a rule");
            animations.push_back(v);
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--stats") {
            stats = true;
        } else {
            return usage("unknown argument " + arg);
        }
    }

    PlcSimulator sim(options);
    std::string error;
    if (!image.empty() && !sim.loadImage(image, &error)) {
        std::cerr << "plcsim: " << error << "\n";
        return 1;
    }
    if (!sim.start(&error)) {
        std::cerr << "plcsim: " << error << "\n";
        return 1;
    }
    const std::vector<std::uint8_t> units = sim.units();

    for (std::string m : modes) {
        const auto unit = splitUnit(m);
        SimMode mode;
        if (m == "RUN")
            mode = SimMode::Run;
        else if (m == "MONITOR")
            mode = SimMode::Monitor;
        else if (m == "PROGRAM")
            mode = SimMode::Program;
        else
            return usage("unknown mode " + m);
        for (std::uint8_t u : units) {
            if (!unit || *unit == u)
                sim.setMode(u, mode);
        }
    }
    sim.setRunLock(runLock);
    for (std::string m : models) {
        const auto unit = splitUnit(m);
        if (m.size() != 2 || m.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return usage("--model takes 2 hex digits: " + m);
        for (std::uint8_t u : units) {
            if (!unit || *unit == u)
                sim.setModel(u, static_cast<std::uint8_t>(std::stoul(m, nullptr, 16)));
        }
    }
    for (std::string f : faults) {
        const auto unit = splitUnit(f);
        const auto colon = f.find(':');
        if (colon == std::string::npos)
            return usage("--fault takes [UNIT:]CMD:KIND");
        const std::string command = f.substr(0, colon);
        const auto fault = parseSimFault(f.substr(colon + 1));
        if (!fault || (command != "*" && command.size() != 2))
            return usage("cannot understand the fault " + f);
        for (std::uint8_t u : units) {
            if (!unit || *unit == u)
                sim.setFault(u, command, *fault);
        }
    }
    for (std::string a : animations) {
        const auto unit = splitUnit(a);
        const auto rule = parseSimAnimation(a, unit.value_or(units.front()), &error);
        if (!rule)
            return usage(error);
        sim.addAnimation(*rule);
    }

    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    std::signal(SIGUSR1, onDump);
    std::signal(SIGPIPE, SIG_IGN);

    std::cout << sim.devicePath() << std::endl;
    std::cerr << "plcsim: serving unit";
    for (std::size_t i = 0; i < units.size(); ++i)
        std::cerr << (i ? ", " : " ") << int(units[i]);
    std::cerr << " on " << sim.slavePath();
    if (!options.linkPath.empty())
        std::cerr << " (link " << options.linkPath << ")";
    std::cerr << std::endl;

    while (!gStop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (gDump) {
            gDump = 0;
            if (!dump.empty() && !sim.saveImage(dump, &error))
                std::cerr << "plcsim: " << error << "\n";
        }
    }
    sim.stop();
    if (!dump.empty() && !sim.saveImage(dump, &error))
        std::cerr << "plcsim: " << error << "\n";
    if (stats) {
        const SimCounters c = sim.counters();
        std::cerr << "plcsim: commands " << c.commands << ", frames in " << c.framesIn
                  << ", frames out " << c.framesOut << ", characters in " << c.charsIn
                  << ", characters out " << c.charsOut << ", FCS errors " << c.fcsErrors << "\n";
    }
    return 0;
}
