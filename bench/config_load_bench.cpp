// Loading a large plant: 100,000 tags in 32 PLCs, each PLC's tags in three levels of branches,
// written as the editor writes files. Reports the load time and the process's peak memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "server/config/config_loader.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/polling/plc_list.h"
#include "server/polling/main_window_link.h"
#include "server/toolkit/node.h"

namespace {

constexpr int kPlcs = 32;
constexpr int kTags = 100000;
constexpr int kFanOut = 5; // branches per level, three levels: 125 bottom branches per PLC

class SilentWindow : public MainWindowLink {
public:
    void messageBox(const std::string& text, const std::string&) override { boxes += text; }
    void messageRingChanged() override {}
    void noPlcConfigured() override {}
    void postClose() override {}
    std::string boxes;
};

void writeTag(std::ofstream& out, const std::string& indent, int n)
{
    static const char* const types[] = {"VT_I2/BIN", "VT_UI2/BCD", "VT_BOOL/BIN", "VT_R4 ARRAY/BIN", "VT_BSTR/BIN"};
    static const char* const areas[] = {"DM", "HR", "IR", "LR", "AR"};
    const int kind = n % 5;
    const std::string in = indent + "\t";
    out << indent << "<tag>\r\n"
        << in << "<name>Tag" << n << "</name>\r\n"
        << in << "<comment>Measurement point " << n << " \xB0" "C</comment>\r\n"
        << in << "<channel>" << areas[kind] << (n % 6000) << "</channel>\r\n"
        << in << "<datatype>" << types[kind] << "</datatype>\r\n"
        << in << "<accessrights>READWRITE</accessrights>\r\n";
    if (kind == 2)
        out << in << "<databit>" << (n % 16) << "</databit>\r\n";
    if (kind >= 3)
        out << in << "<elements>" << 4 << "</elements>\r\n";
    out << indent << "</tag>\r\n";
}

std::string writePlant()
{
    char path[] = "/tmp/vorlask-config-bench-XXXXXX";
    const int fd = mkstemp(path);
    close(fd);
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<MOLVOmronHLCfg>\r\n\t<OPC_DA>\r\n";
    const int perPlc = kTags / kPlcs;
    const int bottoms = kFanOut * kFanOut * kFanOut;
    int n = 0;
    for (int p = 0; p < kPlcs; ++p) {
        const int tagsHere = p == kPlcs - 1 ? kTags - n : perPlc;
        out << "\t\t<PLC name=\"Plc" << p << "\" id = \"" << p << "\" com=\"COM" << (p % 4 + 1)
            << "\" baudrate = \"9600\" stopbits=\"2\" databits=\"7\" parity=\"EVEN\">\r\n\t\t\t<tags>\r\n";
        int written = 0;
        for (int b = 0; b < bottoms; ++b) {
            const int count = tagsHere / bottoms + (b < tagsHere % bottoms ? 1 : 0);
            out << "\t\t\t\t<Line" << b / 25 << ">\r\n\t\t\t\t\t<Cell" << b / 5 % 5 << ">\r\n\t\t\t\t\t\t<Group"
                << b % 5 << ">\r\n";
            for (int t = 0; t < count; ++t)
                writeTag(out, "\t\t\t\t\t\t\t", n + written++);
            out << "\t\t\t\t\t\t</Group" << b % 5 << ">\r\n\t\t\t\t\t</Cell" << b / 5 % 5 << ">\r\n\t\t\t\t</Line"
                << b / 25 << ">\r\n";
        }
        n += written;
        out << "\t\t\t</tags>\r\n\t\t</PLC>\r\n";
    }
    out << "\t</OPC_DA>\r\n</MOLVOmronHLCfg>\r\n";
    return path;
}

std::size_t countLeaves(const SODaSNode& node)
{
    std::size_t n = node.getLeafList().size();
    for (const auto& branch : node.getBranchList())
        n += countLeaves(*branch);
    return n;
}

double peakRssMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_LoadPlant(benchmark::State& state)
{
    const std::string path = writePlant();
    std::size_t tags = 0;
    const double rssBefore = peakRssMegabytes();
    for (auto _ : state) {
        HostLinkChannel::create();
        createPlcList();
        defaultPortName = "COM1";
        SOCmnPointer<SODaSNameSpaceRoot> root = makeObject<SODaSNameSpaceRoot>();
        root->setTreeDelimiter('.', "", "");
        SilentWindow window;
        if (loadConfiguration(path, root.get(), &window) != 1 || !window.boxes.empty())
            state.SkipWithError("the plant did not load cleanly");
        tags = countLeaves(*root);
        state.PauseTiming();
        root->clearChildren();
        root.reset();
        destroyPlcList();
        HostLinkChannel::destroy();
        state.ResumeTiming();
    }
    std::remove(path.c_str());
    state.counters["tags"] = static_cast<double>(tags);
    state.counters["peak_rss_MB"] = peakRssMegabytes();
    state.counters["rss_before_MB"] = rssBefore;
}

BENCHMARK(BM_LoadPlant)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
