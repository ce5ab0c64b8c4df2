// The polling thread on simulated 9600 baud 7E2 lines: how busy it keeps a line, what a
// cyclic read costs in characters, how many commands a large scan needs, how soon a client
// write reaches the wire, and how busy 1, 2 and 4 lines are at once (a worker per line, and
// the single thread), and a saturated line through a local pty beside one through ser2net.
#include "tests/e2e/loopback_port.h"
#include "tests/e2e/polling_scenario.h"

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kBaud = 9600;
constexpr double kCharSeconds = 11.0 / kBaud; // start, 7 data, parity, 2 stop bits

std::uint64_t lineChars(const SimCounters& c) { return c.charsIn + c.charsOut; }

// (1, 5) Many blocks always due on each of `lines` lines (one PLC each): the share of wall
// time each line carries characters, with a worker per line or one thread for all.
// Debian's ser2net in front of one terminal, in raw TCP mode on a loopback port.
class Ser2net {
public:
    explicit Ser2net(const std::string& terminal) : port_(freeLoopbackPort()) {
        config_ = "/tmp/polling-bench-ser2net-" + std::to_string(::getpid()) + ".yaml";
        std::ofstream(config_) << "connection: &bench\n  accepter: tcp,127.0.0.1," << port_
                               << "\n  connector: serialdev," << terminal << ",9600e72,local\n";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int quiet = ::open("/dev/null", O_WRONLY); // its notices are not the bench's
            ::dup2(quiet, 1);
            ::dup2(quiet, 2);
            ::execl("/usr/sbin/ser2net", "ser2net", "-n", "-u", "-c", config_.c_str(), "-P", "/dev/null",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Ready once it accepts.
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port_);
        for (int i = 0; i < 200; ++i) {
            const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
            const bool up = ::connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(probe);
            if (up)
                break;
            std::this_thread::sleep_for(25ms);
        }
    }
    ~Ser2net() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        ::unlink(config_.c_str());
    }
    std::string target() const { return "tcp://127.0.0.1:" + std::to_string(port_); }

private:
    std::uint16_t port_ = 0;
    std::string config_;
    pid_t pid_ = -1;
};

std::vector<double> linesUtilisation(int lines, std::uint16_t wordsPerBlock, int blocks, milliseconds window,
                                     bool oneThreadPerLine = true, bool throughSer2net = false) {
    std::vector<std::unique_ptr<Ser2net>> devices; // outlive the scenario's connections
    PollingScenario s(2000);
    s.setOneThreadPerLine(oneThreadPerLine);
    std::vector<PlcSimulator*> sims;
    std::vector<Plc*> plcs;
    std::vector<std::string> ids;
    for (int l = 1; l <= lines; ++l) {
        const std::string port = "COM" + std::to_string(l);
        const std::string name = "P" + std::to_string(l);
        std::function<std::string(const std::string&)> via;
        if (throughSer2net) {
            via = [&](const std::string& terminal) {
                devices.push_back(std::make_unique<Ser2net>(terminal));
                return devices.back()->target();
            };
        }
        sims.push_back(&s.addLine(port, {0}, kBaud, via));
        plcs.push_back(&s.addPlc(name, 0, port));
        for (int b = 0; b < blocks; ++b) {
            // First and last word of a block; blocks 100 words apart never join.
            const std::uint16_t first = static_cast<std::uint16_t>(b * 100);
            s.addTag(*plcs.back(), "F" + std::to_string(b), vt::I2, MemoryArea::DM, first);
            ids.push_back(name + ".F" + std::to_string(b));
            if (wordsPerBlock > 1) {
                s.addTag(*plcs.back(), "L" + std::to_string(b), vt::I2, MemoryArea::DM,
                         static_cast<std::uint16_t>(first + wordsPerBlock - 1));
                ids.push_back(name + ".L" + std::to_string(b));
            }
        }
    }
    s.start();
    s.addItems(s.addGroup(10), ids);
    for (Plc* plc : plcs)
        s.waitForBlocks(*plc, std::size_t(blocks), 10s);
    std::this_thread::sleep_for(500ms); // past the first reads
    std::vector<SimCounters> before;
    for (PlcSimulator* sim : sims)
        before.push_back(sim->counters());
    const auto t0 = steady_clock::now();
    std::this_thread::sleep_for(window);
    std::vector<double> busy;
    for (std::size_t i = 0; i < sims.size(); ++i)
        busy.push_back(double(lineChars(sims[i]->counters()) - lineChars(before[i])) * kCharSeconds);
    const double wall = duration<double>(steady_clock::now() - t0).count();
    for (double& b : busy)
        b /= wall;
    return busy;
}

struct ReadCost {
    double chars;
    double frames;
};

// (2) Characters of one cyclic read of n words, and the reply frames it took.
ReadCost cyclicReadCost(std::uint16_t n) {
    PollingScenario s(2000);
    PlcSimulator& sim = s.addLine("COM1", {0}, kBaud);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "A", vt::I2 | vt::ARRAY, MemoryArea::DM, 0, 0, n);
    s.start();
    s.addItem(s.addGroup(10), "P1.A");
    s.waitForBlocks(plc, 1, 10s);
    PollingScenario::waitUntil([&] { return sim.counters().commands >= 2; }, 20s);
    s.stopThread(); // finishes the read in progress
    const SimCounters c = sim.counters();
    return {double(lineChars(c)) / double(c.commands), double(c.framesOut) / double(c.commands)};
}

// (3) 1000 contiguous active tags at one rate: commands and characters of one scan. Counted
// on an unpaced line; the wire time follows from the characters.
void largeScan(std::size_t* blocks, double* commandsPerScan, double* charsPerScan) {
    PollingScenario s(2000);
    PlcSimulator& sim = s.addLine("COM1", {0}, 0);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    std::vector<std::string> ids;
    for (std::uint16_t a = 0; a < 1000; ++a) {
        s.addTag(plc, "T" + std::to_string(a), vt::I2, MemoryArea::DM, a);
        ids.push_back("P1.T" + std::to_string(a));
    }
    s.start();
    s.addItems(s.addGroup(50), ids);
    s.waitForBlocks(plc, 1, 20s);
    std::this_thread::sleep_for(300ms);
    s.stopThread();
    const SimCounters c = sim.counters();
    *blocks = s.blockLabels(plc).size();
    // One scan reads every block once.
    const double scans = double(c.commands) / double(std::max<std::size_t>(*blocks, 1));
    *commandsPerScan = double(c.commands) / scans;
    *charsPerScan = double(lineChars(c)) / scans;
}

// (4) Client write on an idle line: from the call to the first character at the PLC.
std::vector<double> writeLatencies(int samples) {
    PollingScenario s(2000);
    PlcSimulator& sim = s.addLine("COM1", {0}, kBaud);
    Plc& plc = s.addPlc("P1", 0, "COM1");
    s.addTag(plc, "W", vt::I2, MemoryArea::DM, 10);
    s.start();
    GroupHandle g = s.addGroup(1000, false);
    ItemHandle item = s.addItem(g, "P1.W", false);
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        std::this_thread::sleep_for(milliseconds(20 + (i * 7) % 13)); // land anywhere in a pass
        const std::uint64_t before = sim.counters().charsIn;
        std::atomic<bool> done{false};
        const auto t0 = steady_clock::now();
        s.client().writeAsync(g, {item}, {Variant::fromI2(static_cast<std::int16_t>(i))},
                              [&](const std::vector<WriteResult>&) { done = true; });
        while (sim.counters().charsIn == before)
            std::this_thread::sleep_for(50us);
        ms.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
        while (!done)
            std::this_thread::sleep_for(1ms);
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

} // namespace

int main() {
    std::printf("Polling thread on plcsim at %u baud 7E2 (11 bits a character)\n\n", kBaud);
    std::printf("%-58s %12s %12s\n", "measure", "value", "goal");

    for (std::uint16_t words : {27, 1}) {
        const double u = linesUtilisation(1, words, 12, 3000ms).front();
        char name[80];
        std::snprintf(name, sizeof name, "(1) line busy, 12 blocks of %u words always due", words);
        std::printf("%-58s %11.1f%% %12s\n", name, u * 100.0, ">= 95 %");
        // Every pass waits 5 ms for the stop event, so one read per pass can fill no more.
        const double wire = (28.0 + 4.0 * words) * kCharSeconds;
        std::snprintf(name, sizeof name, "    bound with the 5 ms wait of every pass");
        std::printf("%-58s %11.1f%% %12s\n", name, 100.0 * wire / (wire + 0.005), "");
    }

    bool allEqual = true;
    for (std::uint16_t n : {1, 10, 29, 30, 31, 60, 100, 250}) {
        const ReadCost c = cyclicReadCost(n);
        const double k = c.frames;
        const double minimum = 24.0 + 4.0 * n + 4.0 * k;
        allEqual = allEqual && c.chars == minimum;
        char name[80];
        std::snprintf(name, sizeof name, "(2) chars per read of %u words (k = %.0f frames)", n, k);
        char goal[32];
        std::snprintf(goal, sizeof goal, "= %.0f", minimum);
        std::printf("%-58s %12.0f %12s\n", name, c.chars, goal);
    }
    std::printf("%-58s %12s %12s\n", "(2) every read at the Host Link minimum", allEqual ? "yes" : "NO", "yes");

    for (int lines : {1, 2, 4}) {
        for (bool perLine : {true, false}) {
            const std::vector<double> busy = linesUtilisation(lines, 27, 12, 8000ms, perLine);
            char name[80];
            std::snprintf(name, sizeof name, "(5) %d line%s x 12 blocks of 27 words, %s", lines,
                          lines > 1 ? "s" : "", perLine ? "worker per line" : "one thread");
            std::string each;
            for (double b : busy)
                each += (each.empty() ? "" : " ") + std::to_string(int(b * 100.0 + 0.5));
            std::printf("%-58s %11.1f%% %12s   each line: %s %%\n", name,
                        100.0 * *std::min_element(busy.begin(), busy.end()),
                        perLine ? ">= 95 %" : "", each.c_str());
        }
    }

    // (6) The same saturated line through a serial device server (raw TCP) beside a local one.
    const double local = linesUtilisation(1, 27, 12, 8000ms).front();
    const double tcp = linesUtilisation(1, 27, 12, 8000ms, true, true).front();
    std::printf("%-58s %11.1f%% %12s\n", "(6) line busy, 12 blocks of 27 words, local pty", local * 100.0, "");
    std::printf("%-58s %11.1f%% %12s\n", "(6) the same through ser2net, raw TCP", tcp * 100.0, ">= 93 %");
    std::printf("%-58s %10.1f pt %12s\n", "(6) local minus TCP", (local - tcp) * 100.0, "<= 3 pt");

    // (7) What the status reads cost a line: one PLC with nothing else to read, its status
    // every second, scaled to the default of every 10 s.
    {
        PollingScenario s(2000);
        s.setStatusInterval(1000ms);
        PlcSimulator& sim = s.addLine("COM1", {0}, kBaud);
        s.addPlc("P1", 0, "COM1");
        s.start();
        PollingScenario::waitUntil([&] { return sim.counters().commands >= 2; }, 10s); // MM, then MS
        const SimCounters before = sim.counters();
        const auto t0 = steady_clock::now();
        std::this_thread::sleep_for(10s);
        const double wall = duration<double>(steady_clock::now() - t0).count();
        const SimCounters after = sim.counters();
        const double perSecond = double(lineChars(after) - lineChars(before)) * kCharSeconds / wall;
        std::printf("%-58s %10.1f ms %12s\n", "(7) line time of one status read (MS)",
                    1000.0 * double(lineChars(after) - lineChars(before)) * kCharSeconds /
                        double(std::max<std::uint64_t>(after.commands - before.commands, 1)), "");
        std::printf("%-58s %11.2f%% %12s\n", "(7) status reads' share of the line at 10 s", perSecond * 100.0 / 10.0,
                    "< 1 %");
    }

    std::size_t blocks = 0;
    double commands = 0;
    double chars = 0;
    largeScan(&blocks, &commands, &chars);
    std::printf("%-58s %12zu %12s\n", "(3) blocks for 1000 contiguous DM tags", blocks, "");
    std::printf("%-58s %12.0f %12s\n", "(3) commands per scan (one per tag: 1000)", commands, "");
    std::printf("%-58s %12.0f %12s\n", "(3) characters per scan (one per tag: 32000)", chars, "");
    std::printf("%-58s %11.2fs %12s\n", "(3) wire time per scan (one per tag: 36.67 s)",
                chars * kCharSeconds, "");

    const std::vector<double> latency = writeLatencies(41);
    std::printf("%-58s %10.1fms %12s\n", "(4) write to first byte on the wire, median",
                latency[latency.size() / 2], "<= 15 ms");
    std::printf("%-58s %10.1fms %12s\n", "(4) write to first byte, 90th percentile",
                latency[latency.size() * 9 / 10], "");
    return 0;
}
