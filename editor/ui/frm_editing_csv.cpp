// The File menu's CSV commands: the items of the selected PLC or branch (or of the whole
// configuration) to a CSV file, and a CSV file's items into the configuration as one step.
#include "editor/ui/frm_editing.h"

#include "editor/model/csv_items.h"
#include "editor/model/editor_error.h"
#include "editor/model/file_io.h"
#include "editor/ui/error_message.h"

namespace {

constexpr const char* kCsvFilter = "CSV files |*.csv";
// Failing lines listed in the message; the rest are counted.
constexpr std::size_t kListedErrors = 20;

int itemsBelow(const DocNode& node)
{
    if (node.tag() == "item")
        return 1;
    int count = 0;
    for (const DocNode* child : node.children())
        count += itemsBelow(*child);
    return count;
}

} // namespace

void frmEditing::mnuExportCsv_Click()
{
    trapErrors(
        mPrompts, "mnuExportCsv_Click",
        [&] {
            if (!mDoc.gbCfgOpen)
                return;
            const DocNode* node = selectedNode() ? selectedNode() : mDoc.TreeView1.root();
            if (!node)
                return;
            FileDialogRequest request;
            request.title = "Export Items to CSV";
            request.filter = kCsvFilter;
            request.defaultName = (node->tag() == "config" ? std::string("items") : node->text()) + ".csv";
            std::optional<std::string> chosen = mPrompts.saveFile(request);
            if (!chosen || chosen->empty())
                return;
            BusyGuard busy(mPrompts);
            writeReplacing(*chosen, exportItemsCsv(mDoc, node));
            const int count = itemsBelow(*node);
            mPrompts.message(std::to_string(count) + (count == 1 ? " item" : " items") + " exported to " + *chosen,
                             PromptIcon::None, programTitle());
        },
        {editor_err::kDialogCancel});
}

void frmEditing::mnuImportCsv_Click()
{
    trapErrors(
        mPrompts, "mnuImportCsv_Click",
        [&] {
            if (!mDoc.gbCfgOpen)
                return;
            FileDialogRequest request;
            request.title = "Import Items from CSV";
            request.filter = kCsvFilter;
            request.mustExist = true;
            std::optional<std::string> chosen = mPrompts.openFile(request);
            if (!chosen || chosen->empty())
                return;
            std::string text, why;
            if (!readWholeFile(*chosen, text, why)) {
                mPrompts.message("Can't read " + *chosen + ": " + why, PromptIcon::Warning, programTitle());
                return;
            }
            CsvImport result;
            {
                BusyGuard busy(mPrompts);
                recordChange("Import Items from CSV", [&] { result = importItemsCsv(mDoc, text); });
            }
            if (!result.ok()) {
                std::string listed;
                for (std::size_t i = 0; i < result.errors.size() && i < kListedErrors; ++i)
                    listed += "\r\n" + result.errors[i];
                if (result.errors.size() > kListedErrors)
                    listed += "\r\nand " + std::to_string(result.errors.size() - kListedErrors) + " more failing lines";
                mPrompts.message(*chosen + " was not imported; nothing was changed." + listed, PromptIcon::Warning,
                                 programTitle());
                return;
            }
            TreeView1_NodeClick(selectedNode() ? selectedNode() : mDoc.TreeView1.root());
            mPrompts.message(result.summary(), PromptIcon::None, programTitle());
        },
        {editor_err::kDialogCancel});
}
