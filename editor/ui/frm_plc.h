// frmPLC, "PLC Properties": adds a PLC under the configuration root or edits the selected one
// (name, Host Link unit number and the line settings of its serial port).
#pragma once

#include "editor/model/cls_plc.h"

#include <QDialog>

#include <memory>
#include <string>

class EditorDocument;
class Prompts;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmPLC : public QDialog {
    Q_OBJECT
public:
    // The dialog works on doc's tree selection: the root when adding (gbPlcModify false), the
    // PLC's node when editing mPrevPlc.
    frmPLC(EditorDocument& doc, Prompts& prompts, QWidget* parent = nullptr);

    // The PLC being edited; set before the dialog is shown in edit mode.
    std::shared_ptr<clsPLC> mPrevPlc;

    // Fills the choices and the fields. Runs by itself when the dialog is first shown.
    void Form_Load();
    // Field validation; shows the first failure's message.
    bool ValidateFields();
    // The controls' texts as SetByForm takes them.
    PlcFormFields formFields() const;

    QLineEdit* txtName;
    QLineEdit* txtId;
    QComboBox* cmbPort;
    QComboBox* cmbBaud;
    QComboBox* cmbParity;
    QComboBox* cmbData;
    QComboBox* cmbStop;
    QPushButton* cmdApply;
    QPushButton* cmdExit;
    QLabel* lblName;
    QLabel* lblId;
    QLabel* lblPort;
    QLabel* lblBaud;
    QLabel* lblParity;
    QLabel* lblDataStop;

public slots:
    void cmdApply_Click();
    void cmdExit_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Names that would make a wrong key or an unreadable file are refused.
    bool checkNameWritable(const std::string& name);

    EditorDocument& mDoc;
    Prompts& mPrompts;
    bool mLoaded = false;
};
