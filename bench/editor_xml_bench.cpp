// Export and import of a large configuration: 20,000 items in 100 branches of one PLC.
#include "editor/model/editor_document.h"
#include "editor/model/scripted_prompts.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int kBranches = 100;
constexpr int kItemsPerBranch = 200;

void build(EditorDocument& doc)
{
    doc.createCollections();
    DocNode* root = doc.TreeView1.add(nullptr, "", "bench.xml", "config", "config", "config");
    auto plc = std::make_shared<clsPLC>();
    plc->SetByForm(PlcFormFields{"PLC1", "1", "COM1", "9600", "2", "7", "EVEN"});
    doc.gcolPlcs.add("PLC1", plc);
    doc.TreeView1.add(root, "PLC1", "PLC1", "plc", "plc", "plc");
    for (int b = 0; b < kBranches; ++b) {
        auto branch = std::make_shared<clsBranch>();
        branch->sName = "B" + std::to_string(b);
        branch->sKey = "PLC1." + branch->sName;
        doc.gcolBranches.add(branch->sKey, branch);
        doc.TreeView1.addChild("PLC1", branch->sKey, branch->sName, "branch", "branch", "branch");
        for (int i = 0; i < kItemsPerBranch; ++i) {
            auto item = std::make_shared<clsItem>();
            item->sName = "Item" + std::to_string(i);
            item->sComment = "Comment of item " + std::to_string(i);
            item->sDataType = i % 2 ? "boolean" : "signed 16 bit array";
            item->sArea = "DM";
            item->nAddress = i;
            item->nElements = 4;
            item->sAccessRight = "READWRITE";
            item->sKey = branch->sKey + "." + item->sName;
            doc.gcolItems.add(item->sKey, item);
            doc.TreeView1.addChild(branch->sKey, item->sKey, item->sName, "item", "item", "item");
        }
    }
}

std::string tempPath()
{
    char pattern[] = "/tmp/pelmora-bench-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd >= 0)
        close(fd);
    return pattern;
}

void BM_ExportTwentyThousandItems(benchmark::State& state)
{
    EditorDocument doc;
    build(doc);
    ScriptedPrompts prompts;
    std::string path = tempPath();
    for (auto _ : state) {
        if (!CreateXML(doc, path, prompts))
            state.SkipWithError("export failed");
    }
    std::remove(path.c_str());
    state.counters["items"] = static_cast<double>(doc.gcolItems.count());
}

void BM_ImportTwentyThousandItems(benchmark::State& state)
{
    EditorDocument source;
    build(source);
    ScriptedPrompts prompts;
    std::string path = tempPath();
    CreateXML(source, path, prompts);
    long calls = 0;
    for (auto _ : state) {
        EditorDocument doc;
        doc.createCollections();
        doc.TreeView1.add(nullptr, "", path, "config", "config", "config");
        calls = 0;
        if (!ImportXML(doc, path, prompts, [&calls](int) { ++calls; }))
            state.SkipWithError("import failed");
        if (doc.gcolItems.count() != static_cast<std::size_t>(kBranches * kItemsPerBranch) ||
            calls != kBranches * kItemsPerBranch)
            state.SkipWithError("import incomplete or progress not once per item");
    }
    std::remove(path.c_str());
    state.counters["progress_calls"] = static_cast<double>(calls);
}

} // namespace

BENCHMARK(BM_ExportTwentyThousandItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportTwentyThousandItems)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
