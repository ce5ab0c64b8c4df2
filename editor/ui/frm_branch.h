// frmBranch, "Branch Name": names a new branch under the selected node, or renames the
// selected branch together with the keys of everything below it.
#pragma once

#include "editor/model/cls_branch.h"

#include <QDialog>

#include <memory>
#include <string>

class DocNode;
class EditorDocument;
class Prompts;
class QLabel;
class QLineEdit;
class QPushButton;

class frmBranch : public QDialog {
    Q_OBJECT
public:
    frmBranch(EditorDocument& doc, Prompts& prompts, QWidget* parent = nullptr);

    // The branch being renamed; set before the dialog is shown when gbBranchModify is set.
    std::shared_ptr<clsBranch> mPrevBranch;

    // Shows the branch's name or the next default name. Runs by itself when first shown.
    void Form_Load();

    QLineEdit* txtBranchName;
    QLabel* lblBranchName;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

public slots:
    void cmdOk_Click();
    void cmdCancel_Click();
    // Escape and the window's close button leave as Exit does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Refuses a name the key scheme or the file can't carry, and a key another node holds.
    bool checkName(const std::string& name, const std::string& newKey, const DocNode* self);

    EditorDocument& mDoc;
    Prompts& mPrompts;
    bool mLoaded = false;
};
