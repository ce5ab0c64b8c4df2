// Any bytes given to the import must end in a report, never in a crash, and what the import
// kept must be consistent: every tree node of an item or branch has its object.
#include "editor/model/editor_document.h"
#include "editor/model/scripted_prompts.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EditorDocument doc;
    doc.createCollections();
    doc.TreeView1.setSelectedItem(doc.TreeView1.add(nullptr, "", "fuzz.xml", "config", "config", "config"));
    ScriptedPrompts prompts;
    ImportXMLText(doc, std::string(reinterpret_cast<const char*>(data), size), prompts);
    for (DocNode* node : doc.TreeView1.nodes()) {
        if (node->tag() == "item" && !doc.gcolItems.contains(node->key()))
            std::abort();
        if (node->tag() == "branch" && !doc.gcolBranches.contains(node->key()))
            std::abort();
    }
    try {
        (void)exportText(doc);
    } catch (...) {
    }
    return 0;
}
