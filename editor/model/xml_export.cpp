#include "editor/model/xml_export.h"

#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/file_io.h"
#include "editor/model/name_rules.h"
#include "editor/model/prompts.h"
#include "editor/model/text_conv.h"

#include <map>
#include <new>

namespace {

const char* const kCrLf = "\r\n";

std::string escaped(const std::string& text, bool attribute)
{
    if (text.find_first_of(attribute ? "&<>\"" : "&<>") == std::string::npos)
        return text;
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            if (attribute) {
                out += "&quot;";
                break;
            }
            [[fallthrough]];
        default: out += c;
        }
    }
    return out;
}

// The children of node, written at level; with prompts an error is shown and ends only this
// node's children, without prompts it goes to the caller.
bool printChildren(std::string& out, const EditorDocument& doc, const DocNode& node, int level, Prompts* prompts)
{
    bool complete = true;
    try {
        for (DocNode* child : node.children()) {
            if (child->tag() == "item") {
                out += doc.gcolItems.item(child->key())->GetXmlTag(level);
                out += kCrLf;
            } else {
                const std::string tabs = TabIndent(level);
                out += tabs + "<" + child->text() + ">" + kCrLf;
                complete = printChildren(out, doc, *child, level + 1, prompts) && complete;
                out += tabs + "</" + child->text() + ">" + kCrLf;
            }
        }
    } catch (const EditorError& e) {
        if (!prompts)
            throw;
        prompts->message(errorMessage(e, "PrintBranch"));
        return false;
    }
    return complete;
}

bool writeDocument(std::string& out, const EditorDocument& doc, Prompts* prompts)
{
    bool complete = true;
    out += "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    out += kCrLf;
    out += "<MOLVOmronHLCfg>";
    out += kCrLf;
    out += "\t<OPC_DA>";
    out += kCrLf;
    for (const auto& entry : doc.gcolPlcs) {
        const clsPLC& plc = *entry.value;
        out += plc.GetXmlTag();
        out += kCrLf;
        out += "\t\t\t<tags>";
        out += kCrLf;
        complete = printChildren(out, doc, doc.TreeView1.node(plc.sName), 4, prompts) && complete;
        out += "\t\t\t</tags>";
        out += kCrLf;
        out += "\t\t</PLC>";
        out += kCrLf;
    }
    out += "\t</OPC_DA>";
    out += kCrLf;
    out += "</MOLVOmronHLCfg>";
    out += kCrLf;
    return complete;
}

// The first object the file could not carry, as a message; "" when all can be written.
std::string firstUnwritable(const EditorDocument& doc)
{
    auto refuse = [](const std::string& what, const std::string& key, const std::string& problem) {
        return "The configuration can not be saved: " + what + " " + key + ": " + problem;
    };
    for (const auto& entry : doc.gcolPlcs) {
        const clsPLC& plc = *entry.value;
        for (const std::string* text : {&plc.sName, &plc.sCom, &plc.sParity})
            if (std::string p = fileCharsProblem(*text); !p.empty())
                return refuse("PLC", plc.sName, p);
        const DocNode* top = doc.TreeView1.find(plc.sName);
        if (!top)
            continue; // CreateXML reports the missing node itself
        std::vector<const DocNode*> pending{top};
        while (!pending.empty()) {
            const DocNode* node = pending.back();
            pending.pop_back();
            // Branch names come back in upper case: two siblings must not meet there.
            std::map<std::string, const DocNode*> readBack;
            for (const DocNode* child : node->children()) {
                if (child->tag() == "item") {
                    auto item = doc.gcolItems.find(child->key());
                    if (!item)
                        continue; // PrintBranch reports it
                    for (const std::string* text : {&item->sName, &item->sComment, &item->sArea, &item->sAccessRight})
                        if (std::string p = fileCharsProblem(*text); !p.empty())
                            return refuse("item", child->key(), p);
                    readBack.emplace(item->sName, child);
                } else {
                    if (std::string p = branchNameProblem(child->text()); !p.empty())
                        return refuse("branch", child->key(), p);
                    pending.push_back(child);
                }
            }
            for (const DocNode* child : node->children()) {
                if (child->tag() == "item")
                    continue;
                auto [it, fresh] = readBack.emplace(upperCase(child->text()), child);
                if (!fresh)
                    return refuse("branch", child->key(),
                                  "read back as " + upperCase(child->text()) + " it would clash with " +
                                      it->second->key());
            }
        }
    }
    return {};
}

} // namespace

std::string TabIndent(int n) { return n > 0 ? std::string(static_cast<std::size_t>(n), '\t') : std::string(); }

std::string xmlEscapeText(const std::string& text) { return escaped(text, false); }

std::string xmlEscapeAttribute(const std::string& text) { return escaped(text, true); }

bool PrintBranch(std::string& out, const EditorDocument& doc, const DocNode& node, int level, Prompts& prompts)
{
    return printChildren(out, doc, node, level, &prompts);
}

std::string exportText(const EditorDocument& doc)
{
    std::string out;
    writeDocument(out, doc, nullptr);
    return out;
}

bool checkWritable(const EditorDocument& doc, Prompts& prompts)
{
    std::string problem = firstUnwritable(doc);
    if (problem.empty())
        return true;
    prompts.message(problem, PromptIcon::Warning);
    return false;
}

bool CreateXML(EditorDocument& doc, const std::string& path, Prompts& prompts)
{
    BusyGuard busy(prompts);
    try {
        if (!checkWritable(doc, prompts))
            return false;
        std::string text;
        text.reserve(256 + doc.gcolItems.count() * 200);
        // A part PrintBranch could not write leaves the old file in place.
        if (!writeDocument(text, doc, &prompts))
            return false;
        std::string bytes;
        if (!toLatin1(text, bytes))
            editor_err::raise(editor_err::kNotWritable);
        writeReplacing(path, bytes);
        return true;
    } catch (const EditorError& e) {
        prompts.message(errorMessage(e, "CreateXML"));
    } catch (const std::bad_alloc&) {
        prompts.message(errorMessage(7, editor_err::standardDescription(7), "CreateXML"));
    }
    return false;
}
