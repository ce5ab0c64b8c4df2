// The Edit commands of the main window (copy, cut, paste, delete, paste item names and
// comments) and the tree's drag and drop, over the document, the prompts and a small surface
// that stands for the window's list, focus, refresh, system clipboard and replace dialog.
#pragma once

#include <array>
#include <string>
#include <vector>

class DocNode;
class EditorDocument;
class Prompts;

// What frmReplace shows: column widths in twips, the header row and one row per pair.
struct ReplaceTable {
    std::array<int, 3> widths{};
    std::array<std::string, 3> headers;
    std::vector<std::array<std::string, 3>> rows;
};

class EditSurface {
public:
    virtual ~EditSurface() = default;
    virtual bool listHasFocus() const = 0;
    virtual bool treeHasFocus() const = 0;
    // ListView1's rows in list order.
    virtual int rowCount() const = 0;
    virtual std::string rowKey(int row) const = 0;
    virtual std::string rowText(int row) const = 0;
    virtual bool isRowSelected(int row) const = 0;
    virtual int findRow(const std::string& key) const = 0; // -1 when absent
    virtual void setRowKeyAndText(int row, const std::string& key, const std::string& text) = 0;
    virtual void setRowComment(int row, const std::string& comment) = 0;
    // TreeView1_NodeClick: rebuilds the list for node.
    virtual void nodeClick(DocNode* node) = 0;
    // Shows frmReplace modally; the dialog sets gbReplaceYes.
    virtual void showReplace(const ReplaceTable& table) = 0;
    // The system clipboard as text.
    virtual std::string clipboardText() = 0;
    virtual void clearClipboard() = 0;
};

enum class DropResult {
    Ignored,  // no target, no source, or the target is the source's own parent
    Refused,  // a message was shown and nothing changed
    Done,
};

class EditCommands {
public:
    EditCommands(EditorDocument& doc, Prompts& prompts, EditSurface& surface)
        : mDoc(doc), mPrompts(prompts), mSurface(surface) {}

    void mnuCopy_Click();
    void mnuCut_Click();
    void mnuPaste_Click();
    void mnuDelete_Click();
    void mnuPasteName_Click();
    void mnuPasteComment_Click();

    // Removes every object below nodBranch from gcolItems and gcolBranches, depth first; the
    // tree is left to the caller. Errors shown with " in RemoveBranch".
    void RemoveBranch(DocNode* nodBranch);
    // Copies (or, for a move, re-registers) everything below nodSource under nodDest. Errors
    // shown with " in CopySubTree".
    void CopySubTree(DocNode* nodSource, DocNode* nodDest, bool copy);
    // A drop of source onto target: move, or copy when copy is set.
    DropResult dropNode(DocNode* source, DocNode* target, bool copy);

    // The lines of a clipboard text: each ended by CR LF (or a bare LF) and trimmed of blanks;
    // text after the last line end is dropped; a text without any line end is one line, as it
    // is. endedByBreak tells which case it was. Raises editor_err::kOverflow for a line end
    // beyond position 32766.
    static std::vector<std::string> splitLines(const std::string& text, bool& endedByBreak);

private:
    std::vector<int> selectedRows() const;

    EditorDocument& mDoc;
    Prompts& mPrompts;
    EditSurface& mSurface;
};
