#include "editor/model/rewrite.h"

#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/stream_prompts.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"

int runRewrite(const std::string& in, const std::string& out, std::ostream& err)
{
    StreamPrompts prompts(err);
    try {
        EditorDocument doc;
        if (!openConfigurationFile(doc, in, prompts))
            return 1;
        // A part of IN that was reported and skipped must not silently vanish from OUT.
        if (prompts.count() != 0)
            return 1;
        DocNode* root = doc.TreeView1.root();
        if (root)
            doc.TreeView1.setText(root, out);
        if (!CreateXML(doc, out, prompts))
            return 1;
        doc.gbCfgSaved = true;
    } catch (const EditorError& e) {
        err << errorMessage(e, "runRewrite") << '\n';
        return 1;
    } catch (const std::exception& e) {
        err << errorMessage(7, e.what(), "runRewrite") << '\n';
        return 1;
    }
    return 0;
}
