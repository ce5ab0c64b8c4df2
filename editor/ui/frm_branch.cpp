#include "editor/ui/frm_branch.h"

#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/name_rules.h"
#include "editor/model/prompts.h"
#include "editor/ui/dialog_input.h"
#include "editor/ui/error_message.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmBranch::frmBranch(EditorDocument& doc, Prompts& prompts, QWidget* parent)
    : QDialog(parent), mDoc(doc), mPrompts(prompts)
{
    setWindowTitle("Branch Name");
    setModal(true);
    lblBranchName = new QLabel("Branch name:", this);
    txtBranchName = new QLineEdit(this);
    txtBranchName->setObjectName("txtBranchName");
    cmdOk = new QPushButton("Ok", this);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setAutoDefault(false);
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setAutoDefault(false);
    cmdOk->setDefault(true); // Enter; Escape is Exit

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblBranchName);
    layout->addWidget(txtBranchName);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);

    connect(cmdOk, &QPushButton::clicked, this, &frmBranch::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmBranch::cmdCancel_Click);
}

void frmBranch::showEvent(QShowEvent* event)
{
    if (!mLoaded)
        Form_Load();
    QDialog::showEvent(event);
}

void frmBranch::Form_Load()
{
    mLoaded = true;
    trapErrors(mPrompts, "Form_Load", [&] {
        if (mDoc.gbBranchModify) {
            if (!mPrevBranch)
                editor_err::raise(editor_err::kObjectNotSet);
            txtBranchName->setText(toQ(mPrevBranch->sName));
        } else {
            txtBranchName->setText("NewBranch" + QString::number(mDoc.gnBranchCount));
        }
    });
}

bool frmBranch::checkName(const std::string& name, const std::string& newKey, const DocNode* self)
{
    // A "." would make the key read as one more level, here and in the server's item IDs.
    if (name.find('.') != std::string::npos) {
        mPrompts.message("Character (.) not acceptable in string " + name);
        return false;
    }
    if (!CheckBranchName(name, mPrompts))
        return false;
    // An item of that name at the same level holds the key already; the tree would refuse it
    // after the collection took the branch.
    const DocNode* holder = mDoc.TreeView1.find(newKey);
    if (holder && holder != self) {
        mPrompts.message("Name already existing. Please use a different name");
        return false;
    }
    return true;
}

void frmBranch::cmdOk_Click()
{
    trapErrors(mPrompts, "cmdOk_Click", [&] {
        const std::string name = toStd(txtBranchName->text());
        DocTree& tree = mDoc.TreeView1;
        if (!mDoc.gbBranchModify) {
            if (!CheckDuplNames("branch", name, tree, false, mPrompts))
                return;
            auto branch = std::make_shared<clsBranch>();
            branch->sName = name;
            branch->sKey = MakeNodeKey(name, tree.selectedItem(), false);
            if (!checkName(name, branch->sKey, nullptr))
                return;
            mDoc.gcolBranches.add(branch->sKey, branch);
            mDoc.gbBranchOk = true;
            mDoc.gbCfgSaved = false;
            accept();
            return;
        }

        if (!CheckDuplNames("branch", name, tree, true, mPrompts))
            return;
        if (!mPrevBranch)
            editor_err::raise(editor_err::kObjectNotSet);
        auto branch = std::make_shared<clsBranch>();
        branch->sName = name;
        branch->sKey = MakeNodeKey(name, tree.selectedItem(), true);
        DocNode& node = tree.node(mPrevBranch->sKey);
        if (!checkName(name, branch->sKey, &node))
            return;
        if (branch->sKey != mPrevBranch->sKey && mDoc.gcolBranches.contains(branch->sKey))
            editor_err::raise(editor_err::kCollectionKey);
        mDoc.gcolBranches.remove(mPrevBranch->sKey);
        mDoc.gcolBranches.add(branch->sKey, branch);
        tree.setText(&node, name);
        tree.setKey(&node, branch->sKey);
        tree.setSelectedItem(&node);
        UpdateSubTreeKeys(mDoc, &node);
        mPrevBranch = branch;
        mDoc.gbCfgSaved = false;
        accept();
    });
}

void frmBranch::cmdCancel_Click() { reject(); }

void frmBranch::reject()
{
    mDoc.gbBranchOk = false;
    QDialog::reject();
}
