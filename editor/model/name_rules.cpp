#include "editor/model/name_rules.h"

#include "editor/model/doc_tree.h"
#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/prompts.h"
#include "editor/model/text_conv.h"

#include <new>

bool CheckDuplNames(const std::string& kind, const std::string& name, const DocTree& tree, bool useParent,
                    Prompts& prompts)
{
    try {
        DocNode* selected = tree.selectedItem();
        if (!selected)
            editor_err::raise(editor_err::kObjectNotSet);
        DocNode* reference = useParent ? selected->parent() : selected;
        if (!reference)
            editor_err::raise(editor_err::kObjectNotSet);
        for (DocNode* child : reference->children()) {
            if (child->tag() == kind && child->text() == name && child != selected) {
                prompts.message("Name already existing. Please use a different name");
                return false;
            }
        }
    } catch (const EditorError& e) {
        prompts.message(errorMessage(e, "CheckDuplNames"));
    }
    return true;
}

std::string MakeNodeKey(const std::string& name, const DocNode* node, bool useParent)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    const DocNode* reference = useParent ? node->parent() : node;
    if (!reference)
        editor_err::raise(editor_err::kObjectNotSet);
    return reference->key() + "." + name;
}

void UpdateSubTreeKeys(EditorDocument& doc, DocNode* node)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    // Copy: rekeying a child does not change the sibling order, but keep the walk independent.
    const std::vector<DocNode*> children = node->children();
    for (DocNode* child : children) {
        const std::string oldKey = child->key();
        const std::string newKey = node->key() + "." + child->text();
        if (child->tag() == "item") {
            auto item = doc.gcolItems.item(oldKey);
            item->sKey = newKey;
            doc.gcolItems.remove(oldKey);
            doc.gcolItems.add(newKey, item);
            doc.TreeView1.setKey(child, newKey);
        } else if (child->tag() == "branch") {
            auto branch = doc.gcolBranches.item(oldKey);
            branch->sKey = newKey;
            doc.gcolBranches.remove(oldKey);
            doc.gcolBranches.add(newKey, branch);
            doc.TreeView1.setKey(child, newKey);
            UpdateSubTreeKeys(doc, child);
        }
    }
}

std::string nameCharsProblem(const std::string& name)
{
    static const char forbidden[] = {' ', '.', ',', ':', ';', '\\', '/', '|'};
    for (char c : forbidden)
        if (name.find(c) != std::string::npos)
            return std::string("Character (") + c + ") not acceptable in string " + name;
    return {};
}

bool CheckNameChars(const std::string& name, Prompts& prompts)
{
    std::string p = nameCharsProblem(name);
    if (p.empty())
        return true;
    prompts.message(p);
    return false;
}

int NumericKeyFilter(int keyAscii)
{
    if ((keyAscii >= '0' && keyAscii <= '9') || keyAscii == '-' || keyAscii == '.' || keyAscii == ' ' ||
        keyAscii == 8 || keyAscii == 9 || keyAscii == 10 || keyAscii == 13)
        return keyAscii;
    return 0;
}

namespace {

std::string shown(char32_t cp)
{
    if (cp < 0x20 || cp == 0x7F)
        return "code " + std::to_string(static_cast<unsigned>(cp));
    std::string s;
    appendUtf8(s, cp);
    return s;
}

bool latin1Letter(char32_t cp)
{
    return (cp >= U'A' && cp <= U'Z') || (cp >= U'a' && cp <= U'z') || (cp >= 0xC0 && cp <= 0xD6) ||
           (cp >= 0xD8 && cp <= 0xF6) || (cp >= 0xF8 && cp <= 0xFF);
}

} // namespace

std::string fileCharsProblem(const std::string& text)
{
    std::u32string cps;
    if (!decodeUtf8(text, cps))
        return "Text with an invalid character encoding can not be written to the configuration file: " + text;
    for (char32_t cp : cps) {
        // XML 1.0 carries no control characters but TAB; line ends would not survive reading.
        if (cp > 0xFF || cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F))
            return "Character (" + shown(cp) + ") can not be written to the configuration file in string " + text;
    }
    return {};
}

std::string branchNameProblem(const std::string& name)
{
    if (std::string p = fileCharsProblem(name); !p.empty())
        return p;
    if (name.empty())
        return "A branch name can not be empty";
    std::u32string cps;
    decodeUtf8(name, cps);
    if (!(latin1Letter(cps[0]) || cps[0] == U'_'))
        return "Character (" + shown(cps[0]) + ") not acceptable at the start of a branch name " + name;
    for (char32_t cp : cps) {
        bool ok = latin1Letter(cp) || (cp >= U'0' && cp <= U'9') || cp == U'-' || cp == U'_' || cp == U'.' ||
                  cp == 0xB7;
        if (!ok)
            return "Character (" + shown(cp) + ") not acceptable in branch name " + name;
    }
    // Read back in upper case, TAG would be taken for an item, and TAGS for the list that
    // holds a PLC's items: the reader would stop there and put the branch's items under the PLC.
    if (upperCase(name) == "TAG")
        return "The name " + name + " is reserved for items and can not be used for a branch";
    if (upperCase(name) == "TAGS")
        return "The name " + name + " is reserved for the lists of items and can not be used for a branch";
    return {};
}

bool CheckFileChars(const std::string& text, Prompts& prompts)
{
    std::string p = fileCharsProblem(text);
    if (p.empty())
        return true;
    prompts.message(p);
    return false;
}

bool CheckBranchName(const std::string& name, Prompts& prompts)
{
    std::string p = branchNameProblem(name);
    if (p.empty())
        return true;
    prompts.message(p);
    return false;
}
