// The add commands, the properties dialogs opened by a double click, and the find window.
#include "editor/ui/frm_editing.h"

#include "editor/model/editor_document.h"
#include "editor/ui/frm_branch.h"
#include "editor/ui/frm_find.h"
#include "editor/ui/frm_items.h"
#include "editor/ui/frm_plc.h"

#include <QLineEdit>

void frmEditing::mnuAddPlc_Click()
{
    recordChange("Add PLC", [this] {
        trap("EH_mnuAddplc_Click", [&] {
            mDoc.gbPlcOk = false;
            mDoc.gbPlcModify = false;
            {
                frmPLC dialog(mDoc, mPrompts, this);
                dialog.exec();
            }
            if (!mDoc.gbPlcOk)
                return;
            const auto plc = mDoc.gcolPlcs.last();
            DocNode* node = mDoc.TreeView1.add(selectedNode(), plc->sKey(), plc->sName, "plc", "plc", "plc");
            mDoc.TreeView1.ensureVisible(node);
            selectNode(node);
            mDoc.gbCfgSaved = false;
            incrementCounter(mDoc.gnPlcCount);
            TreeView1_NodeClick(node);
        });
    });
}

namespace {

// Branches and items live under a PLC or a branch; anything added under an item or the root
// would never be saved.
bool canHoldChildren(const DocNode* node)
{
    return node && (node->tag() == "plc" || node->tag() == "branch");
}

constexpr const char* kAddHereRefused = "Select a PLC or a branch to add to.";

} // namespace

void frmEditing::mnuAddBranch_Click()
{
    recordChange("Add Branch", [this] {
        trap("EH_mnuAddbranch_Click", [&] {
            if (!canHoldChildren(selectedNode())) {
                mPrompts.message(kAddHereRefused);
                return;
            }
            mDoc.gbBranchOk = false;
            mDoc.gbBranchModify = false;
            {
                frmBranch dialog(mDoc, mPrompts, this);
                dialog.exec();
            }
            if (!mDoc.gbBranchOk)
                return;
            const auto branch = mDoc.gcolBranches.last();
            DocNode* node =
                mDoc.TreeView1.add(selectedNode(), branch->sKey, branch->sName, "branch", "branch", "branch");
            mDoc.TreeView1.ensureVisible(node);
            selectNode(node);
            mDoc.gbCfgSaved = false;
            incrementCounter(mDoc.gnBranchCount);
        });
    });
}

void frmEditing::mnuAddItem_Click()
{
    recordChange("Add Item", [this] {
        trap("mnuAddItem_Click", [&] {
            if (!canHoldChildren(selectedNode())) {
                mPrompts.message(kAddHereRefused);
                return;
            }
            mDoc.gbItemOk = false;
            mDoc.gbItemModify = false;
            {
                frmItems dialog(mDoc, mPrompts, this);
                dialog.exec();
            }
            TreeView1_NodeClick(selectedNode());
        });
    });
}

void frmEditing::TreeView1_DblClick()
{
    const DocNode* node = selectedNode();
    const std::string tag = node ? node->tag() : std::string();
    const QString text = tag == "plc" ? "Edit PLC" : tag == "branch" ? "Edit Branch" : "Edit Item";
    recordChange(text, [this] {
        trap("TreeView1_DblClick", [&] {
            DocNode* node = selectedNode();
            if (!node)
                return;
            const std::string& tag = node->tag();
            if (tag == "branch") {
                mDoc.gbBranchModify = true;
                frmBranch dialog(mDoc, mPrompts, this);
                dialog.mPrevBranch = mDoc.gcolBranches.item(node->key());
                dialog.Form_Load();
                dialog.txtBranchName->setText(QString::fromStdString(node->text()));
                dialog.exec();
            } else if (tag == "plc") {
                mDoc.gbPlcModify = true;
                {
                    frmPLC dialog(mDoc, mPrompts, this);
                    dialog.mPrevPlc = mDoc.gcolPlcs.item(node->key());
                    dialog.exec();
                }
                TreeView1_NodeClick(selectedNode());
            } else if (tag == "item") {
                mDoc.gbItemModify = true;
                DocNode* parent = node->parent();
                {
                    frmItems dialog(mDoc, mPrompts, this);
                    dialog.mPrevItem = mDoc.gcolItems.item(node->key());
                    dialog.exec();
                }
                TreeView1_NodeClick(parent);
            }
        });
    });
}

void frmEditing::showFindWindow()
{
    if (!mDoc.gbFindLoaded || !mFindWindow)
        mFindWindow = new frmFind(*this);
    mFindWindow->show();
    mFindWindow->raise();
    mFindWindow->activateWindow();
}

void frmEditing::unloadFindWindow()
{
    if (mFindWindow)
        mFindWindow->close();
}
