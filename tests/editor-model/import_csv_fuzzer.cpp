// Any bytes given to the CSV import must end in a list of failing lines or in added items,
// never in a crash. A failed import leaves the document as it was; an import that passed
// leaves it consistent (every item or branch node has its object) and writable.
#include "editor/model/csv_items.h"
#include "editor/model/editor_document.h"
#include "editor/model/xml_export.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EditorDocument doc;
    doc.createCollections();
    DocNode* root = doc.TreeView1.add(nullptr, "", "fuzz.xml", "config", "config", "config");
    for (const char* name : {"P1", "P2"}) {
        auto plc = std::make_shared<clsPLC>();
        plc->SetByForm(PlcFormFields{name, "1", "COM1", "9600", "2", "7", "EVEN"});
        doc.gcolPlcs.add(name, plc);
        doc.TreeView1.add(root, name, name, "plc", "plc", "plc");
    }
    const std::string before = exportText(doc);
    CsvImport result = importItemsCsv(doc, std::string(reinterpret_cast<const char*>(data), size));
    if (!result.ok()) {
        if (exportText(doc) != before)
            std::abort();
        return 0;
    }
    for (DocNode* node : doc.TreeView1.nodes()) {
        if (node->tag() == "item" && !doc.gcolItems.contains(node->key()))
            std::abort();
        if (node->tag() == "branch" && !doc.gcolBranches.contains(node->key()))
            std::abort();
    }
    (void)exportText(doc); // raises when something can't be written
    return 0;
}
