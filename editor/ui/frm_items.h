// frmItems, "Item Properties": adds items under the selected node (one and close, one and
// step on to the next free address, or a numbered group), or edits the selected item.
#pragma once

#include "editor/model/cls_item.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>

class EditorDocument;
class Prompts;
class frmInserimento;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// Where the next item goes after one of dataType at address and bit with n elements.
struct ItemPlace {
    long long address;
    long long bit;
};
ItemPlace nextItemPlace(const std::string& dataType, long long address, long long bit, long long n);

class frmItems : public QDialog {
    Q_OBJECT
public:
    // Adds under doc's selected tree node (gbItemModify false), or edits mPrevItem, whose node
    // is the selected one.
    frmItems(EditorDocument& doc, Prompts& prompts, QWidget* parent = nullptr);

    std::shared_ptr<clsItem> mPrevItem; // the item being edited
    bool mbAddOk = false;               // the last add succeeded

    // Fills the lists and the fields. Runs by itself when the dialog is first shown.
    void Form_Load();
    // The field checks; shows the first failure's message.
    bool CheckFields();
    // Commits the fields: one new item, or the edited one changed. True when it happened.
    bool AddItemToColl();
    ItemFormFields formFields() const;

    QFrame* frmMain;
    QLineEdit* txtItemName;
    QLineEdit* txtComment;
    QComboBox* cmbArea;
    QLineEdit* txtAddress;
    QLineEdit* txtBit;
    QLabel* lblBit;
    QCheckBox* chkBcd;
    QComboBox* cmbDataType;
    QComboBox* cmbAccessRight;
    QLineEdit* txtElements;
    QLabel* lblElements;
    QLabel* lblItemName;
    QLabel* lblComment;
    QLabel* lblArea;
    QLabel* lblAddress;
    QLabel* lblDataType;
    QLabel* lblAccessRight;
    QPushButton* cmdOk;
    QPushButton* cmdAdd;
    QPushButton* cmdGroup;
    QPushButton* cmdCancel;
    frmInserimento* frmInserimentoPanel; // the group panel, hidden at first

public slots:
    void cmbArea_Click();
    void cmbDataType_Click();
    void cmdOk_Click();
    void cmdAdd_Click();
    void cmdGroup_Click();
    void cmdOkNumber_Click();
    void cmdCancel_Click();
    // Escape and the window's close button leave as Exit does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setBox(QLineEdit* box, QLabel* label, bool enabled);
    void selectType(const std::string& type);

    EditorDocument& mDoc;
    Prompts& mPrompts;
    bool mLoaded = false;
};
