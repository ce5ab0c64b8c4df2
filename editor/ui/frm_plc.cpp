#include "editor/ui/frm_plc.h"

#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/name_rules.h"
#include "editor/model/prompts.h"
#include "editor/model/text_conv.h"
#include "editor/ui/dialog_input.h"
#include "editor/ui/error_message.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QComboBox* choiceBox(QWidget* parent, const QStringList& choices)
{
    auto* box = new QComboBox(parent);
    box->setEditable(false);
    box->setProperty("choices", choices);
    return box;
}

void fill(QComboBox* box)
{
    box->clear();
    box->addItems(box->property("choices").toStringList());
}


} // namespace

frmPLC::frmPLC(EditorDocument& doc, Prompts& prompts, QWidget* parent)
    : QDialog(parent), mDoc(doc), mPrompts(prompts)
{
    setWindowTitle("PLC Properties");
    setModal(true);

    QStringList ports;
    for (int i = 1; i <= 12; ++i)
        ports << QString("COM%1").arg(i);

    txtName = new QLineEdit(this);
    txtName->setObjectName("txtName");
    txtId = new QLineEdit(this);
    txtId->setObjectName("txtId");
    cmbPort = choiceBox(this, ports);
    cmbPort->setObjectName("cmbPort");
    cmbBaud = choiceBox(this, {"2400", "9600", "19200", "38400", "57600", "115200"});
    cmbBaud->setObjectName("cmbBaud");
    cmbParity = choiceBox(this, {"NO", "EVEN", "ODD"});
    cmbParity->setObjectName("cmbParity");
    cmbData = choiceBox(this, {"8", "7", "6", "5"});
    cmbData->setObjectName("cmbData");
    cmbStop = choiceBox(this, {"1", "2"});
    cmbStop->setObjectName("cmbStop");
    cmdApply = new QPushButton("Ok", this);
    cmdApply->setObjectName("cmdApply");
    cmdApply->setAutoDefault(false);
    cmdExit = new QPushButton("Exit", this);
    cmdExit->setObjectName("cmdExit");
    cmdExit->setAutoDefault(false);
    cmdApply->setDefault(true); // Enter; Escape is Exit

    lblName = new QLabel("PLC Name", this);
    lblId = new QLabel("HostLink Identification Address", this);
    lblPort = new QLabel("Port Name", this);
    lblBaud = new QLabel("Baud rate (b/s)", this);
    lblParity = new QLabel("Parity", this);
    lblDataStop = new QLabel("Data e Stop bits", this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblName, 0, 0);
    grid->addWidget(txtName, 0, 1, 1, 2);
    grid->addWidget(lblId, 1, 0);
    grid->addWidget(txtId, 1, 1, 1, 2);
    grid->addWidget(lblPort, 2, 0);
    grid->addWidget(cmbPort, 2, 1, 1, 2);
    grid->addWidget(lblBaud, 3, 0);
    grid->addWidget(cmbBaud, 3, 1, 1, 2);
    grid->addWidget(lblParity, 4, 0);
    grid->addWidget(cmbParity, 4, 1, 1, 2);
    grid->addWidget(lblDataStop, 5, 0);
    grid->addWidget(cmbData, 5, 1);
    grid->addWidget(cmbStop, 5, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdApply);
    buttons->addWidget(cmdExit);
    grid->addLayout(buttons, 6, 0, 1, 3);

    connect(cmdApply, &QPushButton::clicked, this, &frmPLC::cmdApply_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmPLC::cmdExit_Click);
}

void frmPLC::showEvent(QShowEvent* event)
{
    if (!mLoaded)
        Form_Load();
    QDialog::showEvent(event);
}

void frmPLC::Form_Load()
{
    mLoaded = true;
    trapErrors(mPrompts, "Form_Load", [&] {
        for (QComboBox* box : {cmbPort, cmbBaud, cmbParity, cmbData, cmbStop})
            fill(box);
        if (mDoc.gbPlcModify) {
            if (!mPrevPlc)
                editor_err::raise(editor_err::kObjectNotSet);
            txtName->setText(toQ(mPrevPlc->sName));
            txtId->setText(QString::number(mPrevPlc->nID));
            showChoice(cmbPort, mPrevPlc->sCom);
            showChoice(cmbBaud, std::to_string(mPrevPlc->nBaud));
            showChoice(cmbParity, mPrevPlc->sParity);
            showChoice(cmbData, std::to_string(mPrevPlc->nDataBits));
            showChoice(cmbStop, std::to_string(mPrevPlc->nStopBits));
        } else {
            txtName->setText("New Plc " + QString::number(mDoc.gnPlcCount));
            txtId->setText("0");
            showChoice(cmbPort, "COM1");
            showChoice(cmbBaud, "19200");
            showChoice(cmbParity, "EVEN");
            showChoice(cmbData, "7");
            showChoice(cmbStop, "2");
        }
    });
}

bool frmPLC::ValidateFields()
{
    try {
        const std::string id = toStd(txtId->text());
        if (txtName->text().isEmpty()) {
            mPrompts.message("Name field is empty.");
            return false;
        }
        if (!IsNumeric(id)) {
            mPrompts.message("HostLink Address is not valid.");
            return false;
        }
        const double value = numericValue(id);
        if (value < 0 || value > 31) {
            mPrompts.message("HostLink Address must be between 0 and 31.");
            return false;
        }
        return true;
    } catch (...) {
        mPrompts.message("Error. Check fields.");
        return false;
    }
}

PlcFormFields frmPLC::formFields() const
{
    PlcFormFields f;
    f.txtName = toStd(txtName->text());
    f.txtId = toStd(txtId->text());
    f.cmbPort = toStd(cmbPort->currentText());
    f.cmbBaud = toStd(cmbBaud->currentText());
    f.cmbStop = toStd(cmbStop->currentText());
    f.cmbData = toStd(cmbData->currentText());
    f.cmbParity = toStd(cmbParity->currentText());
    return f;
}

bool frmPLC::checkNameWritable(const std::string& name)
{
    // The PLC name is the first part of every key and item ID below it: a "." in it would
    // read as a deeper level.
    if (name.find('.') != std::string::npos) {
        mPrompts.message("Character (.) not acceptable in string " + name);
        return false;
    }
    return CheckFileChars(name, mPrompts);
}

void frmPLC::cmdApply_Click()
{
    trapErrors(mPrompts, "cmdApply_Click", [&] {
        if (!ValidateFields())
            return;
        const std::string name = toStd(txtName->text());
        if (!checkNameWritable(name))
            return;
        if (!CheckDuplNames("plc", name, mDoc.TreeView1, mDoc.gbPlcModify, mPrompts))
            return;

        auto plc = std::make_shared<clsPLC>();
        plc->SetByForm(formFields());

        if (mDoc.gbPlcModify) {
            if (!mPrevPlc)
                editor_err::raise(editor_err::kObjectNotSet);
            const std::string oldKey = mPrevPlc->sKey();
            DocNode& node = mDoc.TreeView1.node(oldKey);
            // Checked before anything moves, so a clash cannot lose the PLC being edited.
            if (plc->sKey() != oldKey && mDoc.gcolPlcs.contains(plc->sKey()))
                editor_err::raise(editor_err::kCollectionKey);
            mDoc.gcolPlcs.remove(oldKey);
            mDoc.gcolPlcs.add(plc->sKey(), plc);
            mDoc.TreeView1.setText(&node, plc->sName);
            mDoc.TreeView1.setKey(&node, plc->sKey());
            mDoc.TreeView1.setSelectedItem(&mDoc.TreeView1.node(plc->sKey()));
            UpdateSubTreeKeys(mDoc, &node);
            mPrevPlc = plc;
        } else {
            mDoc.gcolPlcs.add(plc->sKey(), plc);
            mDoc.gbPlcOk = true;
        }
        mDoc.gbCfgSaved = false;
        accept();
    });
}

void frmPLC::cmdExit_Click() { reject(); }
