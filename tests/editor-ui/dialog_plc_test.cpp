#include "editor/ui/frm_plc.h"

#include "tests/editor-ui/dialog_test_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

QStringList choices(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

class PlcDialogTest : public DialogTest {
protected:
    // The dialog in add mode, on the root, loaded.
    std::unique_ptr<frmPLC> openAdd()
    {
        doc.gbPlcModify = false;
        doc.gbPlcOk = false;
        select(root);
        auto dialog = std::make_unique<frmPLC>(doc, prompts);
        dialog->show();
        return dialog;
    }
    std::unique_ptr<frmPLC> openEdit(DocNode* plcNode)
    {
        doc.gbPlcModify = true;
        select(plcNode);
        auto dialog = std::make_unique<frmPLC>(doc, prompts);
        dialog->mPrevPlc = doc.gcolPlcs.item(plcNode->key());
        dialog->show();
        return dialog;
    }
};

TEST_F(PlcDialogTest, AddModeOffersTheDefaultsAndTheChoicesInOrder)
{
    doc.gnPlcCount = 3;
    auto dialog = openAdd();
    EXPECT_EQ(dialog->windowTitle(), "PLC Properties");
    EXPECT_EQ(dialog->txtName->text(), "New Plc 3");
    EXPECT_EQ(dialog->txtId->text(), "0");
    EXPECT_EQ(dialog->cmbPort->currentText(), "COM1");
    EXPECT_EQ(dialog->cmbBaud->currentText(), "19200");
    EXPECT_EQ(dialog->cmbParity->currentText(), "EVEN");
    EXPECT_EQ(dialog->cmbData->currentText(), "7");
    EXPECT_EQ(dialog->cmbStop->currentText(), "2");

    QStringList ports;
    for (int i = 1; i <= 12; ++i)
        ports << QString("COM%1").arg(i);
    EXPECT_EQ(choices(dialog->cmbPort), ports);
    EXPECT_EQ(choices(dialog->cmbBaud), QStringList({"2400", "9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(choices(dialog->cmbParity), QStringList({"NO", "EVEN", "ODD"}));
    EXPECT_EQ(choices(dialog->cmbData), QStringList({"8", "7", "6", "5"}));
    EXPECT_EQ(choices(dialog->cmbStop), QStringList({"1", "2"}));
    EXPECT_EQ(dialog->lblId->text(), "HostLink Identification Address");
    EXPECT_EQ(dialog->lblDataStop->text(), "Data e Stop bits");
    EXPECT_EQ(dialog->cmdApply->text(), "Ok");
    EXPECT_EQ(dialog->cmdExit->text(), "Exit");
}

TEST_F(PlcDialogTest, HostLinkAddressIsCheckedForNumberAndRange)
{
    struct Case {
        const char* id;
        const char* message; // nullptr: accepted
    };
    const Case cases[] = {
        {"31", nullptr},
        {"0", nullptr},
        {"32", "HostLink Address must be between 0 and 31."},
        {"-1", "HostLink Address must be between 0 and 31."},
        {"x", "HostLink Address is not valid."},
        {"", "HostLink Address is not valid."},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        prompts.clear();
        doc.gbCfgSaved = true;
        doc.gnPlcCount = static_cast<std::int16_t>(n++);
        const std::size_t before = doc.gcolPlcs.count();
        auto dialog = openAdd();
        dialog->txtId->setText(c.id);
        dialog->cmdApply->click();
        if (c.message) {
            EXPECT_EQ(prompts.messages(), std::vector<std::string>{c.message});
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(doc.gcolPlcs.count(), before);
            EXPECT_FALSE(doc.gbPlcOk);
            EXPECT_TRUE(doc.gbCfgSaved);
        } else {
            EXPECT_TRUE(prompts.messages().empty());
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_EQ(dialog->result(), QDialog::Accepted);
            ASSERT_EQ(doc.gcolPlcs.count(), before + 1);
            EXPECT_EQ(doc.gcolPlcs.last()->nID, std::stoi(c.id));
            EXPECT_TRUE(doc.gbPlcOk);
            EXPECT_FALSE(doc.gbCfgSaved);
        }
    }
}

TEST_F(PlcDialogTest, EmptyNameIsRefusedBeforeTheAddressIsLookedAt)
{
    auto dialog = openAdd();
    dialog->txtName->clear();
    dialog->txtId->setText("x");
    dialog->cmdApply->click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"Name field is empty."});
    EXPECT_TRUE(doc.gcolPlcs.empty());
}

TEST_F(PlcDialogTest, UnitNumberHalfwayBetweenTwoRoundsToTheEvenOne)
{
    const std::pair<const char*, int> cases[] = {{"2.5", 2}, {"3.5", 4}, {"30.4", 30}};
    int n = 0;
    for (auto [text, stored] : cases) {
        SCOPED_TRACE(text);
        auto dialog = openAdd();
        dialog->txtName->setText(QString("P%1").arg(n++));
        dialog->txtId->setText(text);
        dialog->cmdApply->click();
        ASSERT_TRUE(prompts.messages().empty());
        EXPECT_EQ(doc.gcolPlcs.last()->nID, stored);
    }
}

TEST_F(PlcDialogTest, AddTakesEveryFieldIntoTheNewPlc)
{
    auto dialog = openAdd();
    dialog->txtName->setText("Press");
    dialog->txtId->setText("5");
    dialog->cmbPort->setCurrentText("COM12");
    dialog->cmbBaud->setCurrentText("115200");
    dialog->cmbParity->setCurrentText("ODD");
    dialog->cmbData->setCurrentText("8");
    dialog->cmbStop->setCurrentText("1");
    dialog->cmdApply->click();
    ASSERT_TRUE(doc.gcolPlcs.contains("Press"));
    const clsPLC& plc = *doc.gcolPlcs.item("Press");
    EXPECT_EQ(plc.sKey(), "Press");
    EXPECT_EQ(plc.nID, 5);
    EXPECT_EQ(plc.sCom, "COM12");
    EXPECT_EQ(plc.nBaud, 115200);
    EXPECT_EQ(plc.sParity, "ODD");
    EXPECT_EQ(plc.nDataBits, 8);
    EXPECT_EQ(plc.nStopBits, 1);
    // The main window makes the node.
    EXPECT_EQ(doc.TreeView1.find("Press"), nullptr);
}

TEST_F(PlcDialogTest, DuplicateNameIsRefusedAndTheDialogStaysOpen)
{
    addPlc("PLC1");
    auto dialog = openAdd();
    dialog->txtName->setText("PLC1");
    dialog->cmdApply->click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"Name already existing. Please use a different name"});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(doc.gcolPlcs.count(), 1u);
    EXPECT_FALSE(doc.gbPlcOk);
}

TEST_F(PlcDialogTest, EditModeShowsThePlcAndKeepsItsNameWhenUnchanged)
{
    DocNode* node = addPlc("PLC1", "7");
    addPlc("PLC2");
    auto dialog = openEdit(node);
    EXPECT_EQ(dialog->txtName->text(), "PLC1");
    EXPECT_EQ(dialog->txtId->text(), "7");
    EXPECT_EQ(dialog->cmbPort->currentText(), "COM2");
    EXPECT_EQ(dialog->cmbBaud->currentText(), "9600");
    EXPECT_EQ(dialog->cmbParity->currentText(), "ODD");
    EXPECT_EQ(dialog->cmbData->currentText(), "8");
    EXPECT_EQ(dialog->cmbStop->currentText(), "1");

    dialog->cmbBaud->setCurrentText("38400");
    dialog->cmdApply->click();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_EQ(doc.gcolPlcs.item("PLC1")->nBaud, 38400);
    EXPECT_EQ(doc.TreeView1.find("PLC1"), node);
    EXPECT_FALSE(doc.gbPlcOk);
    EXPECT_FALSE(doc.gbCfgSaved);
}

TEST_F(PlcDialogTest, RenamingRekeysTheNodeAndEverythingBelowIt)
{
    DocNode* plc = addPlc("PLC1");
    DocNode* motors = addBranch(plc, "Motors");
    addItem(motors, "Speed");
    addItem(plc, "Run");
    auto dialog = openEdit(plc);
    dialog->txtName->setText("Line2");
    dialog->cmdApply->click();
    ASSERT_TRUE(prompts.messages().empty());
    EXPECT_EQ(plc->key(), "Line2");
    EXPECT_EQ(plc->text(), "Line2");
    EXPECT_EQ(doc.TreeView1.selectedItem(), plc);
    EXPECT_FALSE(doc.gcolPlcs.contains("PLC1"));
    EXPECT_EQ(doc.gcolPlcs.item("Line2")->sName, "Line2");
    EXPECT_EQ(motors->key(), "Line2.Motors");
    EXPECT_TRUE(doc.gcolBranches.contains("Line2.Motors"));
    EXPECT_EQ(doc.gcolItems.item("Line2.Motors.Speed")->sKey, "Line2.Motors.Speed");
    EXPECT_TRUE(doc.gcolItems.contains("Line2.Run"));
    EXPECT_FALSE(doc.gcolItems.contains("PLC1.Run"));
}

TEST_F(PlcDialogTest, ExitChangesNothing)
{
    DocNode* node = addPlc("PLC1", "7");
    auto dialog = openEdit(node);
    dialog->txtName->setText("Other");
    dialog->txtId->setText("9");
    dialog->cmdExit->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(doc.gbCfgSaved);
    EXPECT_EQ(doc.gcolPlcs.item("PLC1")->nID, 7);
    EXPECT_EQ(node->key(), "PLC1");
    EXPECT_TRUE(prompts.records().empty());
}

TEST_F(PlcDialogTest, NamesThatWouldBreakKeysOrTheFileAreRefused)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Line.2", "Character (.) not acceptable in string Line.2"},
        {"Pumpe\xe2\x82\xac", "can not be written to the configuration file"},
    };
    for (auto [name, message] : cases) {
        SCOPED_TRACE(name);
        prompts.clear();
        auto dialog = openAdd();
        dialog->txtName->setText(QString::fromUtf8(name));
        dialog->cmdApply->click();
        ASSERT_EQ(prompts.messages().size(), 1u);
        EXPECT_NE(prompts.messages()[0].find(message), std::string::npos) << prompts.messages()[0];
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(doc.gcolPlcs.empty());
    }
}

} // namespace

namespace {

TEST_F(PlcDialogTest, StoredValuesOutsideTheListsShowAndSurvive)
{
    DocNode* node = addPlc("Odd");
    auto plc = doc.gcolPlcs.item(node->key());
    plc->nBaud = 4800;
    plc->sCom = "COM13";
    plc->sParity = "N";
    auto d = openEdit(node);
    EXPECT_EQ(d->cmbBaud->currentText(), "4800");
    EXPECT_EQ(d->cmbPort->currentText(), "COM13");
    EXPECT_EQ(d->cmbParity->currentText(), "N");
    d->cmdApply->click();
    EXPECT_TRUE(prompts.messages().empty());
    auto saved = doc.gcolPlcs.item("Odd");
    EXPECT_EQ(saved->nBaud, 4800);
    EXPECT_EQ(saved->sCom, "COM13");
    EXPECT_EQ(saved->sParity, "N");
    EXPECT_EQ(saved->nDataBits, 8);
    EXPECT_EQ(saved->nStopBits, 1);
}

} // namespace
