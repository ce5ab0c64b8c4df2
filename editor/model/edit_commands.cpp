#include "editor/model/edit_commands.h"

#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/name_rules.h"
#include "editor/model/prompts.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <set>

namespace {

const char* const kDefaultNameRefused = "Please change Item name (do not use default name) before copying";
const char* const kUnableToDrag = "Unable to drag nodes here";

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string trimBlanks(const std::string& s)
{
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    std::size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

// The node the tree shows as selected once node is gone: next sibling, else the one before,
// else the parent.
DocNode* selectionAfterRemoving(DocNode* node)
{
    if (DocNode* next = node->nextSibling())
        return next;
    DocNode* parent = node->parent();
    if (parent && node->row() > 0)
        return parent->children()[node->row() - 1];
    return parent;
}

} // namespace

std::vector<std::string> EditCommands::splitLines(const std::string& text, bool& endedByBreak)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    endedByBreak = false;
    for (;;) {
        std::size_t lf = text.find('\n', pos);
        if (lf == std::string::npos)
            break;
        // Positions and counts are 16-bit in this command.
        if (lf > 32766 || lines.size() >= 32767)
            editor_err::raise(editor_err::kOverflow);
        std::size_t end = (lf > pos && text[lf - 1] == '\r') ? lf - 1 : lf;
        lines.push_back(trimBlanks(text.substr(pos, end - pos)));
        endedByBreak = true;
        pos = lf + 1;
    }
    if (!endedByBreak)
        lines.push_back(text);
    return lines;
}

std::vector<int> EditCommands::selectedRows() const
{
    std::vector<int> rows;
    for (int r = 0; r < mSurface.rowCount(); ++r)
        if (mSurface.isRowSelected(r))
            rows.push_back(r);
    return rows;
}

void EditCommands::mnuCopy_Click()
{
    try {
        mDoc.gnPasteCount = 0;
        DocNode* selected = mDoc.TreeView1.selectedItem();
        if (mSurface.listHasFocus()) {
            bool taken = false;
            for (int row : selectedRows()) {
                std::string text = mSurface.rowText(row);
                if (startsWith(text, "New_Item") || startsWith(text, "Copied_Item")) {
                    mPrompts.message(kDefaultNameRefused);
                    return;
                }
                auto item = mDoc.gcolItems.item(mSurface.rowKey(row));
                if (!taken) {
                    mDoc.gaClipboard.emplace(1);
                    taken = true;
                }
                mDoc.gaClipboard->push_back(item);
            }
        } else if (mSurface.treeHasFocus() && selected && selected->tag() == "item") {
            if (startsWith(selected->text(), "New_Item")) {
                mPrompts.message(kDefaultNameRefused);
                return;
            }
            auto item = mDoc.gcolItems.item(selected->key());
            mDoc.gaClipboard.emplace(1);
            mDoc.gaClipboard->push_back(item);
        } else if (mSurface.treeHasFocus() && selected && selected->tag() == "branch") {
            mPrompts.message("Please use Drag&Drop to copy and paste branches");
        }
    } catch (...) {
        reportCaught(mPrompts, "mnuCopy_Click");
    }
}

void EditCommands::mnuCut_Click()
{
    mnuCopy_Click();
    mnuDelete_Click();
}

void EditCommands::mnuPaste_Click()
{
    try {
        if (!mDoc.gaClipboard) {
            mPrompts.message("No items to paste.");
            return;
        }
        DocNode* branch = mDoc.TreeView1.selectedItem();
        if (!branch) {
            mPrompts.message("Copied object can not be added here ");
            return;
        }
        if (branch->tag() != "branch")
            return;
        // The list shows the branch once, after the last item, also when an error ends the paste.
        struct Refresh {
            EditSurface& surface;
            DocNode* branch;
            bool needed = false;
            ~Refresh()
            {
                if (needed)
                    surface.nodeClick(branch);
            }
        } refresh{mSurface, branch};
        const auto& sources = *mDoc.gaClipboard;
        for (std::size_t i = 1; i < sources.size(); ++i) {
            const auto& source = sources[i];
            if (!source || source->sName.empty())
                continue;
            auto item = std::make_shared<clsItem>();
            item->SetByCopy(*source, branch->key(), mDoc.gnPasteCount);
            while (mDoc.gcolItems.contains(item->sKey)) {
                incrementCounter(mDoc.gnPasteCount);
                const std::string suffix = "_" + std::to_string(mDoc.gnPasteCount);
                item->sName += suffix;
                item->sKey += suffix;
            }
            // A sibling branch of that name holds the key in the tree: the item would exist in
            // the collection without a node.
            if (mDoc.TreeView1.containsKey(item->sKey)) {
                mPrompts.message("The name " + item->sName + " is used by a branch at this level. Item not pasted");
                continue;
            }
            mDoc.gcolItems.add(item->sKey, item);
            mDoc.TreeView1.add(branch, item->sKey, item->sName, "item", "item", "item");
            mDoc.gbCfgSaved = false;
            refresh.needed = true;
        }
        incrementCounter(mDoc.gnPasteCount);
    } catch (const EditorError& e) {
        if (e.number == editor_err::kSubscript)
            mPrompts.message("No items to paste.");
        else if (e.number == editor_err::kObjectNotSet)
            mPrompts.message("Copied object can not be added here ");
        else
            mPrompts.message(errorMessage(e, "mnuPaste_Click"));
    } catch (...) {
        reportCaught(mPrompts, "mnuPaste_Click");
    }
}

void EditCommands::mnuDelete_Click()
{
    try {
        DocTree& tree = mDoc.TreeView1;
        DocNode* selected = tree.selectedItem();
        if (!selected)
            return;
        if (mSurface.listHasFocus() && selected->tag() == "branch") {
            if (mPrompts.question("Are you sure you want to delete the selected items ?", PromptButtons::YesNo) !=
                PromptAnswer::Yes)
                return;
            std::vector<std::string> keys;
            for (int row : selectedRows())
                keys.push_back(mSurface.rowKey(row));
            for (const std::string& key : keys) {
                mDoc.gcolItems.remove(key);
                tree.remove(&tree.node(key));
                mDoc.gbCfgSaved = false;
            }
            mSurface.nodeClick(selected);
            return;
        }
        if (!mSurface.treeHasFocus())
            return;
        if (selected->tag() == "branch") {
            if (mPrompts.question("Are you sure you want to delete " + selected->text() + " and all its items?",
                                  PromptButtons::YesNo) == PromptAnswer::Yes) {
                RemoveBranch(selected);
                mDoc.gcolBranches.remove(selected->key());
                DocNode* next = selectionAfterRemoving(selected);
                tree.remove(selected);
                tree.setSelectedItem(next);
                mDoc.gbCfgSaved = false;
            }
        } else if (selected->tag() == "item") {
            if (mPrompts.question("Are you sure you want to delete " + selected->text() + " ?",
                                  PromptButtons::YesNo) == PromptAnswer::Yes) {
                mDoc.gcolItems.remove(selected->key());
                DocNode* next = selectionAfterRemoving(selected);
                tree.remove(selected);
                tree.setSelectedItem(next);
                mDoc.gbCfgSaved = false;
            }
        } else {
            return;
        }
        DocNode* shown = tree.selectedItem();
        if (!shown || !shown->parent())
            editor_err::raise(editor_err::kObjectNotSet);
        mSurface.nodeClick(shown->parent());
    } catch (...) {
        reportCaught(mPrompts, "mnuDelete_Click");
    }
}

void EditCommands::RemoveBranch(DocNode* nodBranch)
{
    try {
        if (!nodBranch)
            editor_err::raise(editor_err::kObjectNotSet);
        for (DocNode* child : nodBranch->children())
            if (child->tag() == "item")
                mDoc.gcolItems.remove(child->key());
        for (DocNode* child : nodBranch->children()) {
            if (child->tag() == "branch") {
                mDoc.gcolBranches.remove(child->key());
                RemoveBranch(child);
            }
        }
    } catch (...) {
        reportCaught(mPrompts, "RemoveBranch");
    }
}

void EditCommands::mnuPasteName_Click()
{
    try {
        std::string text = mSurface.clipboardText();
        if (text.empty()) {
            mPrompts.message("Empty clipboard !");
            return;
        }
        bool ended = false;
        std::vector<std::string> lines = splitLines(text, ended);
        DocNode* selected = mDoc.TreeView1.selectedItem();
        if (!selected)
            editor_err::raise(editor_err::kObjectNotSet);
        if (ended) {
            for (const std::string& line : lines) {
                for (const auto& entry : mDoc.gcolItems) {
                    const clsItem& item = *entry.value;
                    if (item.sName != line || item.getParentKey() != selected->key())
                        continue;
                    int row = mSurface.findRow(item.getParentKey() + "." + line);
                    if (row < 0 || !mSurface.isRowSelected(row)) {
                        mPrompts.message("Name already existing");
                        mSurface.clearClipboard();
                        return;
                    }
                }
            }
        }
        std::vector<int> rows = selectedRows();
        if (rows.size() != lines.size()) {
            mPrompts.message("Invalid selection");
            return;
        }
        // Refused before anything changes: two equal new names, or a new name another node
        // (a sibling branch, an item not renamed now) holds at that level.
        std::set<std::string> renamedKeys;
        for (int row : rows)
            renamedKeys.insert(mSurface.rowKey(row));
        std::set<std::string> newNames;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string& name = lines[i];
            if (!newNames.insert(name).second) {
                mPrompts.message("The name " + name + " is given to more than one item. Nothing was renamed");
                return;
            }
            std::string newKey = parentKeyOf(mSurface.rowKey(rows[i])) + "." + name;
            if (DocNode* holder = mDoc.TreeView1.find(newKey); holder && !renamedKeys.count(newKey)) {
                mPrompts.message(holder->tag() == "branch"
                                     ? "The name " + name + " is used by a branch at this level. Nothing was renamed"
                                     : std::string("Name already existing"));
                return;
            }
        }
        mDoc.gbReplaceYes = false;
        ReplaceTable table;
        table.widths = {2000, 400, 2000};
        table.headers = {"Item name", "", "New Item name"};
        for (std::size_t i = 0; i < rows.size(); ++i)
            table.rows.push_back({mSurface.rowText(rows[i]), "<---", lines[i]});
        mSurface.showReplace(table);
        if (!mDoc.gbReplaceYes)
            return;

        struct Rename {
            int row;
            DocNode* node;
            std::shared_ptr<clsItem> item;
            std::string name, key;
        };
        std::vector<Rename> renames;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!CheckNameChars(lines[i], mPrompts) || !CheckFileChars(lines[i], mPrompts))
                continue;
            std::string oldKey = mSurface.rowKey(rows[i]);
            auto item = mDoc.gcolItems.item(oldKey);
            renames.push_back({rows[i], &mDoc.TreeView1.node(oldKey), item, lines[i], item->getParentKey() + "." + lines[i]});
        }
        // A pair skipped above keeps its old key, which a later new name may still want.
        for (bool changed = true; changed;) {
            changed = false;
            std::set<const DocNode*> moving;
            for (const auto& r : renames)
                moving.insert(r.node);
            for (auto it = renames.begin(); it != renames.end(); ++it) {
                DocNode* holder = mDoc.TreeView1.find(it->key);
                if (holder && !moving.count(holder)) {
                    mPrompts.message("Name already existing");
                    renames.erase(it);
                    changed = true;
                    break;
                }
            }
        }
        // Old keys go first, so that names may move around among the selected items.
        for (const auto& r : renames) {
            mDoc.gcolItems.remove(r.item->sKey);
            mDoc.TreeView1.setKey(r.node, "");
        }
        for (const auto& r : renames) {
            r.item->sKey = r.key;
            r.item->sName = r.name;
            mDoc.gcolItems.add(r.key, r.item);
            mDoc.TreeView1.setKey(r.node, r.key);
            mDoc.TreeView1.setText(r.node, r.name);
            mSurface.setRowKeyAndText(r.row, r.key, r.name);
        }
        mDoc.gbCfgSaved = false;
        mSurface.clearClipboard();
    } catch (...) {
        reportCaught(mPrompts, "Paste_Name_Click");
    }
}

void EditCommands::mnuPasteComment_Click()
{
    try {
        std::string text = mSurface.clipboardText();
        if (text.empty()) {
            mPrompts.message("Empty clipboard !");
            return;
        }
        bool ended = false;
        std::vector<std::string> lines = splitLines(text, ended);
        std::vector<int> rows = selectedRows();
        if (rows.size() != lines.size()) {
            mPrompts.message("Invalid selection");
            return;
        }
        mDoc.gbReplaceYes = false;
        ReplaceTable table;
        table.widths = {3000, 400, 3000};
        table.headers = {"Item comment", "", "New Item comment"};
        std::vector<std::shared_ptr<clsItem>> items;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            items.push_back(mDoc.gcolItems.item(mSurface.rowKey(rows[i])));
            table.rows.push_back({items.back()->sComment, "<---", lines[i]});
        }
        mSurface.showReplace(table);
        if (!mDoc.gbReplaceYes)
            return;
        int applied = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!CheckFileChars(lines[i], mPrompts))
                continue;
            items[i]->sComment = lines[i];
            mSurface.setRowComment(rows[i], lines[i]);
            ++applied;
        }
        mDoc.gbCfgSaved = false;
        // A single comment stays available for the next item.
        if (applied > 1)
            mSurface.clearClipboard();
    } catch (...) {
        reportCaught(mPrompts, "Paste_Comment_Click");
    }
}

void EditCommands::CopySubTree(DocNode* nodSource, DocNode* nodDest, bool copy)
{
    try {
        if (!nodSource || !nodDest)
            editor_err::raise(editor_err::kObjectNotSet);
        const std::vector<DocNode*> children = nodSource->children();
        for (DocNode* child : children) {
            const std::string newKey = nodDest->key() + "." + child->text();
            DocNode* added = mDoc.TreeView1.add(nodDest, newKey, child->text(), child->tag(), child->image(),
                                                child->selectedImage());
            if (child->tag() == "item") {
                if (copy) {
                    auto item = std::make_shared<clsItem>(*mDoc.gcolItems.item(child->key()));
                    item->sKey = newKey;
                    mDoc.gcolItems.add(newKey, item);
                } else {
                    auto item = mDoc.gcolItems.item(child->key());
                    item->sKey = newKey;
                    mDoc.gcolItems.add(newKey, item);
                    mDoc.gcolItems.remove(child->key());
                }
            } else if (child->tag() == "branch") {
                if (copy) {
                    auto branch = std::make_shared<clsBranch>(*mDoc.gcolBranches.item(child->key()));
                    branch->sKey = newKey;
                    mDoc.gcolBranches.add(newKey, branch);
                } else {
                    auto branch = mDoc.gcolBranches.item(child->key());
                    branch->sKey = newKey;
                    mDoc.gcolBranches.add(newKey, branch);
                    mDoc.gcolBranches.remove(child->key());
                }
                CopySubTree(child, added, copy);
            }
        }
    } catch (...) {
        reportCaught(mPrompts, "CopySubTree");
    }
}

DropResult EditCommands::dropNode(DocNode* source, DocNode* target, bool copy)
{
    // The root has no object behind it: dragging it does nothing.
    if (!target || !source || source->tag() == "config")
        return DropResult::Ignored;
    // Only branches and items move; a PLC or the root would leave objects without nodes, and
    // only PLCs and branches take children.
    if (target->tag() == "item" || target->tag() == "config" || source->tag() == "plc" ||
        !(source->tag() == "branch" || source->tag() == "item")) {
        mPrompts.message(kUnableToDrag, PromptIcon::Warning);
        return DropResult::Refused;
    }
    if (target == source->parent())
        return DropResult::Ignored;
    if (DocTree::isAncestorOrSelf(source, target)) {
        mPrompts.message(kUnableToDrag, PromptIcon::Warning);
        return DropResult::Refused;
    }
    const std::string newKey = target->key() + "." + source->text();
    if (mDoc.TreeView1.containsKey(newKey) || mDoc.gcolItems.contains(newKey) || mDoc.gcolBranches.contains(newKey)) {
        mPrompts.message("Name already in use at this level. Move not allowed", PromptIcon::Critical);
        return DropResult::Refused;
    }
    try {
        DocTree& tree = mDoc.TreeView1;
        bool wasSelected = tree.selectedItem() && DocTree::isAncestorOrSelf(source, tree.selectedItem());
        DocNode* added =
            tree.add(target, newKey, source->text(), source->tag(), source->image(), source->selectedImage());
        if (source->tag() == "item") {
            if (copy) {
                auto item = std::make_shared<clsItem>(*mDoc.gcolItems.item(source->key()));
                item->sKey = newKey;
                mDoc.gcolItems.add(newKey, item);
            } else {
                auto item = mDoc.gcolItems.item(source->key());
                item->sKey = newKey;
                mDoc.gcolItems.add(newKey, item);
                mDoc.gcolItems.remove(source->key());
            }
        } else {
            if (copy) {
                auto branch = std::make_shared<clsBranch>(*mDoc.gcolBranches.item(source->key()));
                branch->sKey = newKey;
                mDoc.gcolBranches.add(newKey, branch);
            } else {
                auto branch = mDoc.gcolBranches.item(source->key());
                branch->sKey = newKey;
                mDoc.gcolBranches.add(newKey, branch);
                mDoc.gcolBranches.remove(source->key());
            }
            CopySubTree(source, added, copy);
        }
        tree.setExpanded(added, true);
        tree.ensureVisible(added);
        if (!copy) {
            tree.remove(source);
            // The moved object stays the selected one.
            if (wasSelected)
                tree.setSelectedItem(added);
        }
        mDoc.gbCfgSaved = false;
    } catch (...) {
        // Errors during the drop itself pass without a message.
    }
    return DropResult::Done;
}
