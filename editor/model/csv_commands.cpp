#include "editor/model/csv_commands.h"

#include "editor/model/csv_items.h"
#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/file_io.h"
#include "editor/model/stream_prompts.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"

#include <functional>

namespace {

// Opens IN and runs work on it; a part of IN that was reported and skipped fails the command,
// since it would silently be missing from what is written.
int withConfiguration(const std::string& in, std::ostream& err, const char* where,
                      const std::function<int(EditorDocument&, StreamPrompts&)>& work)
{
    StreamPrompts prompts(err);
    try {
        EditorDocument doc;
        if (!openConfigurationFile(doc, in, prompts) || prompts.count() != 0)
            return 1;
        return work(doc, prompts);
    } catch (const EditorError& e) {
        err << errorMessage(e, where) << '\n';
    } catch (const std::exception& e) {
        err << errorMessage(7, e.what(), where) << '\n';
    }
    return 1;
}

} // namespace

int runExportCsv(const std::string& in, const std::string& csv, std::ostream& err)
{
    return withConfiguration(in, err, "runExportCsv", [&](EditorDocument& doc, StreamPrompts&) {
        writeReplacing(csv, exportItemsCsv(doc));
        return 0;
    });
}

int runImportCsv(const std::string& in, const std::string& csv, const std::string& outFile, std::ostream& out,
                 std::ostream& err)
{
    return withConfiguration(in, err, "runImportCsv", [&](EditorDocument& doc, StreamPrompts& prompts) {
        std::string text, why;
        if (!readWholeFile(csv, text, why)) {
            err << "can't read " << csv << ": " << why << '\n';
            return 1;
        }
        const CsvImport result = importItemsCsv(doc, text);
        for (const std::string& error : result.errors)
            err << error << '\n';
        if (!result.ok())
            return 1;
        if (DocNode* root = doc.TreeView1.root())
            doc.TreeView1.setText(root, outFile);
        if (!CreateXML(doc, outFile, prompts))
            return 1;
        out << result.summary() << '\n';
        return 0;
    });
}
