// frmReplace ("Replace Text"): the confirmation of the bulk rename and bulk comment commands,
// old and new values side by side in Grid1. YES sets gbReplaceYes, NO and closing clear it.
#pragma once

#include "editor/model/edit_commands.h"

#include <QDialog>

#include <functional>

class EditorDocument;
class QPushButton;
class QTableWidget;

class frmReplace : public QDialog {
    Q_OBJECT
public:
    frmReplace(EditorDocument& doc, const ReplaceTable& table, QWidget* parent = nullptr);

    // Shows the dialog modally; returns gbReplaceYes.
    bool run();

    QTableWidget* Grid1() const { return mGrid; }
    QPushButton* Command1() const { return mNo; }   // "NO"
    QPushButton* Command2() const { return mYes; }  // "YES"

    // Called once the dialog is up and modal (tests answer through it).
    static std::function<void(frmReplace&)>& shownHook();

private:
    EditorDocument& mDoc;
    QTableWidget* mGrid = nullptr;
    QPushButton* mNo = nullptr;
    QPushButton* mYes = nullptr;
};
