// The editor's window with a large configuration (offscreen Qt): 20,000 items in 100 branches,
// two of them holding 5,000 items each. Times what a user waits for: opening the file, clicking
// a branch of 5,000 items (unsorted, then sorted by a column), pasting 1,000 items, deleting
// a branch of 5,000 items, and importing all 20,000 items from CSV into the same PLC without
// items. Each step runs a few times on a fresh window; the median is printed with the goal.
#include "editor/model/csv_items.h"
#include "editor/model/scripted_prompts.h"
#include "editor/ui/editor_list.h"
#include "editor/ui/frm_editing.h"

#include <QApplication>
#include <QUndoStack>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBranches = 100;
constexpr int kItems = 20000;
constexpr int kBigBranch = 5000;
constexpr int kPasted = 1000;
constexpr int kRuns = 3;

std::string writeConfiguration(bool withItems = true)
{
    char pattern[] = "/tmp/pelmora-views-bench-XXXXXX.xml";
    int fd = mkstemps(pattern, 4);
    if (fd < 0)
        return {};
    close(fd);
    std::ofstream out(pattern, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<MOLVOmronHLCfg>\r\n\t<OPC_DA>\r\n"
        << "\t\t<PLC name=\"PLC1\" id = \"1\" com=\"COM1\" baudrate = \"9600\" stopbits=\"2\" databits=\"7\" "
           "parity=\"EVEN\">\r\n\t\t\t<tags>\r\n";
    const int small = (kItems - 2 * kBigBranch) / (kBranches - 2);
    int written = 0;
    for (int b = 0; withItems && b < kBranches; ++b) {
        int count = b < 2 ? kBigBranch : (b == kBranches - 1 ? kItems - written : small);
        out << "\t\t\t\t<B" << b << ">\r\n";
        for (int i = 0; i < count; ++i) {
            // Names and comments in an order that a column sort really has to change.
            const int scrambled = (i * 7919) % count;
            out << "\t\t\t\t\t<tag>\r\n\t\t\t\t\t\t<name>Item" << scrambled << "</name>\r\n"
                << "\t\t\t\t\t\t<comment>Comment " << (count - i) << "</comment>\r\n"
                << "\t\t\t\t\t\t<channel>DM" << i << "</channel>\r\n"
                << "\t\t\t\t\t\t<datatype>VT_I2/BIN</datatype>\r\n"
                << "\t\t\t\t\t\t<accessrights>READWRITE</accessrights>\r\n\t\t\t\t\t</tag>\r\n";
        }
        written += count;
        out << "\t\t\t\t</B" << b << ">\r\n";
    }
    out << "\t\t\t</tags>\r\n\t\t</PLC>\r\n\t</OPC_DA>\r\n</MOLVOmronHLCfg>\r\n";
    return out ? std::string(pattern) : std::string();
}

double timed(const std::function<void()>& step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    QCoreApplication::processEvents(); // what the window shows after the step
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

struct Window {
    ScriptedPrompts prompts;
    frmEditing window{prompts};

    explicit Window(const std::string& path, double* openMs = nullptr)
    {
        window.setProgramFolder("/tmp");
        window.resize(1000, 700);
        window.show();
        QCoreApplication::processEvents();
        double ms = timed([&] {
            window.openAtStart(path);
            window.TreeView1_NodeClick(window.tree().root());
        });
        if (openMs)
            *openMs = ms;
    }
    ~Window() { window.document().gbCfgSaved = true; }
    DocNode* node(const std::string& key) { return window.tree().find(key); }
};

void report(const char* what, std::vector<double> ms, double goal)
{
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("%-44s median %8.1f ms  (min %8.1f, max %8.1f)  goal < %6.0f ms  %s\n", what, median, ms.front(),
                ms.back(), goal, median < goal ? "met" : "NOT MET");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string path = writeConfiguration();
    if (path.empty()) {
        std::fprintf(stderr, "editor_views_bench: can't write the configuration\n");
        return 1;
    }
    const std::string emptyPath = writeConfiguration(false);
    std::string csv;
    std::vector<double> open, clickUnsorted, clickSorted, paste, remove, import;
    for (int run = 0; run < kRuns; ++run) {
        double ms = 0;
        Window w(path, &ms);
        open.push_back(ms);
        frmEditing& win = w.window;
        if (csv.empty())
            csv = exportItemsCsv(win.document());
        clickUnsorted.push_back(timed([&] { win.TreeView1_NodeClick(w.node("PLC1.B0")); }));
        win.ListView1_ColumnClick(1);
        clickSorted.push_back(timed([&] { win.TreeView1_NodeClick(w.node("PLC1.B1")); }));

        // Copy 1,000 rows of B1 from the list, paste them into B2.
        EditorList* list = win.ListView1();
        list->clearSelection();
        for (int row = 0; row < kPasted; ++row)
            list->setRowSelected(row, true);
        win.setListFocus();
        win.mnuCopy_Click();
        win.TreeView1_NodeClick(w.node("PLC1.B2"));
        win.setTreeFocus();
        const std::size_t before = win.document().gcolItems.count();
        paste.push_back(timed([&] { win.mnuPaste_Click(); }));
        if (win.document().gcolItems.count() != before + kPasted) {
            std::fprintf(stderr, "editor_views_bench: paste added %zu items, not %d\n",
                         win.document().gcolItems.count() - before, kPasted);
            return 1;
        }

        win.TreeView1_NodeClick(w.node("PLC1.B0"));
        win.setTreeFocus();
        w.prompts.queueAnswer(PromptAnswer::Yes);
        remove.push_back(timed([&] { win.mnuDelete_Click(); }));
        if (w.node("PLC1.B0") || win.document().gcolItems.count() != before + kPasted - kBigBranch) {
            std::fprintf(stderr, "editor_views_bench: the branch of %d items was not deleted\n", kBigBranch);
            return 1;
        }
    }
    for (int run = 0; run < kRuns; ++run) {
        Window w(emptyPath);
        frmEditing& win = w.window;
        CsvImport result;
        import.push_back(timed([&] {
            win.recordChange("Import Items from CSV", [&] { result = importItemsCsv(win.document(), csv); });
            win.TreeView1_NodeClick(win.tree().root());
        }));
        if (result.added != kItems || win.undoStack()->count() != 1) {
            std::fprintf(stderr, "editor_views_bench: the import added %d items\n", result.added);
            return 1;
        }
    }
    std::remove(path.c_str());
    std::remove(emptyPath.c_str());
    std::printf("%d items in %d branches, two of %d; %d runs each\n", kItems, kBranches, kBigBranch, kRuns);
    report("open the file", open, 3000);
    report("click a branch of 5000 items, unsorted", clickUnsorted, 200);
    report("click a branch of 5000 items, sorted", clickSorted, 200);
    report("paste 1000 items", paste, 1000);
    report("delete a branch of 5000 items", remove, 1000);
    report("import 20000 items from CSV, one undo step", import, 3000);
    return 0;
}
