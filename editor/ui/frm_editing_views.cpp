// The tree's and the list's events, and the list layouts per kind of node.
#include "editor/ui/frm_editing.h"

#include "editor/model/editor_error.h"
#include "editor/ui/config_tree_view.h"
#include "editor/ui/editor_list.h"
#include "editor/ui/error_message.h"

namespace {

QStringList qtexts(const std::vector<std::string>& texts)
{
    QStringList out;
    for (const std::string& text : texts)
        out.append(QString::fromStdString(text));
    return out;
}

void plcColumns(EditorList& list)
{
    list.addColumn("Plc Name", 0.5);
    list.addColumn("Address", 0.4);
}

// "the selected item" of the list: its current row when selected, else its first selected row.
int selectedItemRow(const EditorList& list)
{
    const int current = list.currentRow();
    if (current >= 0 && list.isRowSelected(current))
        return current;
    std::vector<int> rows = list.selectedRows();
    return rows.empty() ? -1 : rows.front();
}

}  // namespace

void frmEditing::addPlcRow(const clsPLC& plc)
{
    ListRow row = plc.AddToListView();
    mList->addRow(QString::fromStdString(row.key), qtexts(row.texts), QString::fromStdString(row.largePicture),
                  QString::fromStdString(row.smallPicture));
}

void frmEditing::addItemRow(const clsItem& item, bool bIndex)
{
    ListRow row = item.AddToListView(bIndex);
    mList->addRow(QString::fromStdString(row.key), qtexts(row.texts), QString::fromStdString(row.largePicture),
                  QString::fromStdString(row.smallPicture));
}

void frmEditing::layoutRootList()
{
    mList->clear();
    plcColumns(*mList);
    mList->setView(EditorList::View::Report);
    for (const auto& entry : mDoc.gcolPlcs)
        addPlcRow(*entry.value);
}

void frmEditing::TreeView1_NodeClick(DocNode* node)
{
    BusyGuard busy(mPrompts);  // the normal pointer comes back also after an error
    trap("TreeView1_NodeClick", [&] {
        if (!node)
            editor_err::raise(editor_err::kObjectNotSet);
        DocTree& tree = mDoc.TreeView1;
        tree.setSorted(node, true);
        const std::string& tag = node->tag();
        enableForTag(tag, false);
        mList->clear();
        EditorList::RowBatch batch(*mList);
        if (tag == "config") {
            plcColumns(*mList);
            for (const auto& entry : mDoc.gcolPlcs)
                addPlcRow(*entry.value);
        } else if (tag == "plc") {
            plcColumns(*mList);
            addPlcRow(*mDoc.gcolPlcs.item(node->key()));
        } else if (tag == "branch") {
            mList->addColumn("Item Name", 0.2);
            mList->addColumn("Comment", 0.3);
            mList->addColumn("Datatype", 0.2);
            mList->addColumn("Address", 0.3);
            mList->addColumn("Access Rights", 0.2);
            mList->addColumn("Index", 0.3);
            for (DocNode* child : node->children())
                if (child->tag() == "item")
                    addItemRow(*mDoc.gcolItems.item(child->key()), true);
            if (node->firstChild() && node->firstChild()->tag() == "item")
                EnMenuButt({.fileO = true, .fileS = true, .abrO = true, .aitO = true, .pstO = true, .dltO = true, .vewO = true, .tolO = true, .pNa = true, .pCo = true});
        } else if (tag == "item") {
            mList->addColumn("Item Name", 0.2);
            mList->addColumn("Comment", 0.3);
            mList->addColumn("Datatype", 0.2);
            mList->addColumn("Address (Hex)", 0.3);
            mList->addColumn("Access Rights", 0.2);
            addItemRow(*mDoc.gcolItems.item(node->key()), false);
        }
        mList->setView(EditorList::View::Report);
        selectNode(node);
    });
}

void frmEditing::ListView1_Click()
{
    trapErrors(
        mPrompts, "ListView1_Click",
        [&] {
            const int row = selectedItemRow(*mList);
            if (row < 0)
                return;
            DocNode& node = mDoc.TreeView1.node(mList->rowKey(row).toStdString());
            enableForTag(node.tag(), true);
        },
        {editor_err::kElementNotFound, editor_err::kObjectNotSet});
}

void frmEditing::ListView1_DblClick()
{
    trapErrors(
        mPrompts, "ListView1_DblClick",
        [&] {
            const int row = selectedItemRow(*mList);
            if (row >= 0)
                selectNode(&mDoc.TreeView1.node(mList->rowKey(row).toStdString()));
            TreeView1_DblClick();
        },
        {editor_err::kElementNotFound, editor_err::kObjectNotSet});
}

void frmEditing::ListView1_ColumnClick(int column)
{
    trap("ListView1_ColumnClick", [&] { mList->sortByColumn(column); });
}

void frmEditing::InitObjects()
{
    trap("InitObjects", [&] {
        mTree->hide();
        mList->hide();
        mDoc.TreeView1.clear();
        mList->clear();
        mDoc.resetClipboard();
        resetUndo();
    });
}
