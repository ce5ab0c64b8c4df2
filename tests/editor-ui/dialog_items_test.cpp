#include "editor/ui/frm_inserimento.h"
#include "editor/ui/frm_items.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"

#include "tests/editor-ui/dialog_test_support.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList choices(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

const QStringList kAllTypes = {
    "boolean", "unsigned 16 bit", "unsigned 32 bit", "signed 16 bit", "signed 32 bit", "32 bit float",
    "boolean array", "unsigned 8 bit array", "unsigned 16 bit array", "unsigned 32 bit array",
    "signed 8 bit array", "signed 16 bit array", "signed 32 bit array", "32 bit float array", "string"};

class ItemDialogTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        plc = addPlc("PLC1");
        branch = addBranch(plc, "Valves");
    }
    std::unique_ptr<frmItems> openAdd(DocNode* under)
    {
        doc.gbItemModify = false;
        doc.gbItemOk = false;
        select(under);
        auto dialog = std::make_unique<frmItems>(doc, prompts);
        dialog->show();
        return dialog;
    }
    std::unique_ptr<frmItems> openEdit(DocNode* itemNode)
    {
        doc.gbItemModify = true;
        select(itemNode);
        auto dialog = std::make_unique<frmItems>(doc, prompts);
        dialog->mPrevItem = doc.gcolItems.item(itemNode->key());
        dialog->show();
        return dialog;
    }
    // Names of the items directly below node, in tree order.
    std::vector<std::string> childNames(const DocNode* node)
    {
        std::vector<std::string> out;
        for (const DocNode* child : node->children())
            out.push_back(child->text());
        return out;
    }

    DocNode* plc = nullptr;
    DocNode* branch = nullptr;
};

TEST_F(ItemDialogTest, AddModeOffersTheDefaults)
{
    doc.gnItemCount = 5;
    auto d = openAdd(branch);
    EXPECT_EQ(d->windowTitle(), "Item Properties");
    EXPECT_EQ(d->txtItemName->text(), "New Item 5");
    EXPECT_EQ(d->txtComment->text(), "");
    EXPECT_EQ(d->cmbArea->currentText(), "DM");
    EXPECT_EQ(choices(d->cmbArea), QStringList({"DM", "LR", "HR", "AR", "IR", "TC", "TG"}));
    EXPECT_EQ(choices(d->cmbDataType), kAllTypes);
    EXPECT_EQ(d->cmbDataType->currentText(), "unsigned 16 bit");
    EXPECT_EQ(choices(d->cmbAccessRight), QStringList({"READ", "WRITE", "READWRITE"}));
    EXPECT_EQ(d->cmbAccessRight->currentText(), "READWRITE");
    EXPECT_TRUE(d->chkBcd->isChecked());
    EXPECT_TRUE(d->chkBcd->isEnabled());
    EXPECT_EQ(d->txtAddress->text(), "");
    EXPECT_EQ(d->txtElements->text(), "0");
    EXPECT_EQ(d->txtBit->text(), "0");
    EXPECT_FALSE(d->txtElements->isEnabled());
    EXPECT_FALSE(d->lblElements->isEnabled());
    EXPECT_FALSE(d->txtBit->isEnabled());
    EXPECT_FALSE(d->lblBit->isEnabled());
    EXPECT_EQ(d->cmdOk->text(), "Add and Exit");
    EXPECT_EQ(d->cmdAdd->text(), "Add and Increment");
    EXPECT_EQ(d->cmdGroup->text(), "Add Group....");
    EXPECT_TRUE(d->cmdGroup->isEnabled());
    EXPECT_EQ(d->cmdCancel->text(), "Exit");
    EXPECT_FALSE(d->frmInserimentoPanel->isVisible());
}

TEST_F(ItemDialogTest, TimerAndFlagAreasOfferTheirTwoTypesAndFixBcd)
{
    auto d = openAdd(branch);
    d->cmbArea->setCurrentText("TC");
    EXPECT_EQ(choices(d->cmbDataType), QStringList({"unsigned 16 bit", "unsigned 16 bit array"}));
    EXPECT_EQ(d->cmbDataType->currentText(), "unsigned 16 bit");
    EXPECT_TRUE(d->chkBcd->isChecked());
    EXPECT_FALSE(d->chkBcd->isEnabled());
    d->cmbDataType->setCurrentText("unsigned 16 bit array");
    EXPECT_TRUE(d->chkBcd->isChecked());
    EXPECT_FALSE(d->chkBcd->isEnabled());
    EXPECT_TRUE(d->txtElements->isEnabled());

    d->cmbArea->setCurrentText("TG");
    EXPECT_EQ(choices(d->cmbDataType), QStringList({"boolean", "boolean array"}));
    EXPECT_EQ(d->cmbDataType->currentText(), "boolean");
    EXPECT_FALSE(d->chkBcd->isChecked());
    EXPECT_FALSE(d->chkBcd->isEnabled());
    EXPECT_TRUE(d->txtBit->isEnabled());

    d->cmbArea->setCurrentText("HR");
    EXPECT_EQ(choices(d->cmbDataType), kAllTypes);
    EXPECT_EQ(d->cmbDataType->currentText(), "unsigned 16 bit");
    EXPECT_TRUE(d->chkBcd->isEnabled());
}

TEST_F(ItemDialogTest, DataTypeDecidesElementsBitAndBcd)
{
    struct Case {
        const char* type;
        bool elements, bit, bcd;
    };
    const Case cases[] = {
        {"boolean", false, true, false},         {"boolean array", true, true, false},
        {"string", true, false, false},          {"signed 16 bit", false, false, true},
        {"unsigned 8 bit array", true, false, true}, {"32 bit float", false, false, false},
        {"32 bit float array", true, false, false},
    };
    auto d = openAdd(branch);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        d->cmbDataType->setCurrentText("unsigned 16 bit");
        d->txtElements->setEnabled(true);
        d->txtBit->setEnabled(true);
        d->txtElements->setText("7");
        d->txtBit->setText("3");
        d->chkBcd->setChecked(true);
        d->cmbDataType->setCurrentText(c.type);
        EXPECT_EQ(d->txtElements->isEnabled(), c.elements);
        EXPECT_EQ(d->lblElements->isEnabled(), c.elements);
        EXPECT_EQ(d->txtBit->isEnabled(), c.bit);
        EXPECT_EQ(d->lblBit->isEnabled(), c.bit);
        EXPECT_EQ(d->chkBcd->isEnabled(), c.bcd);
        EXPECT_EQ(d->txtElements->text(), c.elements ? "7" : "0");
        EXPECT_EQ(d->txtBit->text(), c.bit ? "3" : "0");
        EXPECT_EQ(d->chkBcd->isChecked(), c.bcd);
    }
}

TEST_F(ItemDialogTest, FieldChecksRefuseWithTheirMessagesInOrder)
{
    struct Case {
        const char* name;
        const char* type;
        const char* address;
        const char* bit;
        const char* elements;
        const char* message; // nullptr: accepted
    };
    const Case cases[] = {
        {"A0", "signed 16 bit", "0", "0", "0", nullptr},
        {"A1", "signed 16 bit", "65535", "0", "0", nullptr},
        {"A2", "signed 16 bit", "65536", "0", "0", "Address field is not valid. It must be between 0 and 65535."},
        {"A3", "signed 16 bit", "-1", "0", "0", "Address field is not valid. It must be between 0 and 65535."},
        {"A4", "signed 16 bit", "", "0", "0", "Address field is empty."},
        {"", "signed 16 bit", "", "0", "0", "Item name field is empty."},
        {"B1", "boolean", "5", "15", "0", nullptr},
        {"B2", "boolean", "5", "16", "0", "Bit number field is not valid. It must be between 0 and 15."},
        {"B3", "boolean", "5", "", "0", "Bit number field is empty."},
        {"B4", "boolean array", "65536", "", "", "Address field is not valid. It must be between 0 and 65535."},
        {"E1", "string", "5", "0", "", "Number of elements field is empty."},
        {"E2", "string", "5", "0", "-2", "Number of elements field is not valid."},
        {"E3", "string", "5", "0", "12", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.address);
        prompts.clear();
        const std::size_t before = doc.gcolItems.count();
        auto d = openAdd(branch);
        d->txtItemName->setText(c.name);
        d->cmbDataType->setCurrentText(c.type);
        d->txtAddress->setText(c.address);
        d->txtBit->setText(c.bit);
        d->txtElements->setText(c.elements);
        d->cmdOk->click();
        if (c.message) {
            EXPECT_EQ(prompts.messages(), std::vector<std::string>{c.message});
            EXPECT_TRUE(d->isVisible());
            EXPECT_EQ(doc.gcolItems.count(), before);
        } else {
            EXPECT_TRUE(prompts.messages().empty());
            EXPECT_FALSE(d->isVisible());
            EXPECT_EQ(doc.gcolItems.count(), before + 1);
            EXPECT_EQ(doc.gcolItems.item("PLC1.Valves." + std::string(c.name))->nAddress, std::stoi(c.address));
        }
    }
}

TEST_F(ItemDialogTest, AddAndExitMakesTheItemAndItsNode)
{
    doc.gnItemCount = 4;
    auto d = openAdd(branch);
    d->txtItemName->setText("Valve_1");
    d->txtComment->setText("Inlet valve");
    d->cmbArea->setCurrentText("HR");
    d->cmbDataType->setCurrentText("boolean");
    d->txtAddress->setText("12");
    d->txtBit->setText("3");
    d->cmbAccessRight->setCurrentText("READ");
    d->cmdOk->click();
    EXPECT_FALSE(d->isVisible());
    const clsItem& item = *doc.gcolItems.item("PLC1.Valves.Valve_1");
    EXPECT_EQ(item.sComment, "Inlet valve");
    EXPECT_EQ(item.sArea, "HR");
    EXPECT_EQ(item.sDataType, "boolean");
    EXPECT_EQ(item.nAddress, 12);
    EXPECT_EQ(item.nBitNumber, 3);
    EXPECT_FALSE(item.bBcd);
    EXPECT_EQ(item.sAccessRight, "READ");
    DocNode* node = doc.TreeView1.find("PLC1.Valves.Valve_1");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->parent(), branch);
    EXPECT_EQ(node->tag(), "item");
    EXPECT_EQ(node->image(), "item");
    EXPECT_EQ(doc.gnItemCount, 5);
    EXPECT_TRUE(doc.gbItemOk);
    EXPECT_FALSE(doc.gbCfgSaved);
}

TEST_F(ItemDialogTest, AddAndIncrementStepsAddressAndBitByTheSizeOfTheItem)
{
    struct Case {
        const char* type;
        const char* address;
        const char* bit;
        const char* elements;
        const char* nextAddress;
        const char* nextBit;
    };
    const Case cases[] = {
        {"boolean", "100", "15", "0", "101", "0"},
        {"boolean", "100", "7", "0", "100", "8"},
        {"boolean array", "10", "4", "20", "11", "8"},
        {"boolean array", "10", "0", "16", "11", "0"},
        {"unsigned 8 bit array", "50", "0", "3", "53", "0"},
        {"unsigned 8 bit array", "50", "0", "4", "53", "0"},
        {"signed 8 bit array", "50", "0", "5", "53", "0"},
        {"string", "50", "0", "7", "55", "0"},
        {"signed 16 bit", "7", "0", "0", "8", "0"},
        {"32 bit float", "7", "0", "0", "9", "0"},
        {"unsigned 16 bit array", "20", "0", "6", "26", "0"},
        {"signed 32 bit array", "20", "0", "6", "32", "0"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.elements);
        prompts.clear();
        auto d = openAdd(branch);
        d->txtItemName->setText(QString("S%1").arg(n++));
        d->txtComment->setText("something");
        d->cmbDataType->setCurrentText(c.type);
        d->txtAddress->setText(c.address);
        d->txtBit->setText(c.bit);
        d->txtElements->setText(c.elements);
        d->cmdAdd->click();
        ASSERT_TRUE(prompts.messages().empty()) << prompts.messages()[0];
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->txtAddress->text(), c.nextAddress);
        EXPECT_EQ(d->txtBit->text(), c.nextBit);
        EXPECT_EQ(d->txtItemName->text(), QString("New_Item_%1").arg(doc.gnItemCount));
        EXPECT_EQ(d->txtComment->text(), "");
    }
}

TEST_F(ItemDialogTest, TheOfferedNamesAreAcceptedAsTheyAre)
{
    doc.gnItemCount = 0;
    auto d = openAdd(branch);
    d->txtAddress->setText("0");
    d->cmdAdd->click();
    d->cmdAdd->click();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_EQ(childNames(branch), (std::vector<std::string>{"New Item 0", "New_Item_1"}));
    EXPECT_EQ(doc.gcolItems.item("PLC1.Valves.New_Item_1")->nAddress, 1);
}

TEST_F(ItemDialogTest, GroupStopsAtTheFirstRefusedName)
{
    addItem(branch, "New_Item_2");
    doc.gnItemCount = 0;
    auto d = openAdd(branch);
    d->txtAddress->setText("100");
    d->cmdGroup->click();
    EXPECT_TRUE(d->frmInserimentoPanel->isVisible());
    EXPECT_FALSE(d->frmMain->isEnabled());
    EXPECT_EQ(d->frmInserimentoPanel->txtNumbItems->text(), "1");
    EXPECT_EQ(d->frmInserimentoPanel->lblNumbItems->text(), "INSERT NUMBER OF ITEMS TO ADD");
    d->frmInserimentoPanel->txtNumbItems->setText("5");
    d->frmInserimentoPanel->cmdOkNumber->click();

    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"Name already existing. Please use a different name"});
    EXPECT_EQ(childNames(branch), (std::vector<std::string>{"New_Item_2", "New Item 0", "New_Item_1"}));
    EXPECT_EQ(doc.gcolItems.count(), 3u);
    EXPECT_EQ(doc.gcolItems.item("PLC1.Valves.New_Item_1")->nAddress, 101);
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->frmInserimentoPanel->isVisible());
    EXPECT_TRUE(d->frmMain->isEnabled());
    EXPECT_EQ(prompts.busyCount(), 1);
    EXPECT_EQ(prompts.busyDepth(), 0);
}

TEST_F(ItemDialogTest, GroupAddsTheWholeSeriesWithSteppedAddresses)
{
    auto d = openAdd(plc);
    d->cmbDataType->setCurrentText("signed 32 bit");
    d->txtAddress->setText("10");
    d->cmdGroup->click();
    d->frmInserimentoPanel->txtNumbItems->setText("3");
    d->frmInserimentoPanel->cmdOkNumber->click();
    EXPECT_TRUE(prompts.messages().empty());
    ASSERT_EQ(doc.gcolItems.count(), 3u);
    std::vector<int> addresses;
    for (const auto& e : doc.gcolItems)
        addresses.push_back(e.value->nAddress);
    EXPECT_EQ(addresses, (std::vector<int>{10, 12, 14}));
    EXPECT_EQ(d->txtAddress->text(), "16");
}

TEST_F(ItemDialogTest, GroupCountMustBeANumber)
{
    auto d = openAdd(branch);
    d->txtAddress->setText("1");
    d->cmdGroup->click();
    d->frmInserimentoPanel->txtNumbItems->setText("");
    d->frmInserimentoPanel->cmdOkNumber->click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"Number of items is not valid."});
    EXPECT_TRUE(d->frmInserimentoPanel->isVisible());
    EXPECT_FALSE(d->frmMain->isEnabled());
    EXPECT_TRUE(doc.gcolItems.empty());

    // A count too large for the field is reported, and the dialog is usable again.
    prompts.clear();
    d->frmInserimentoPanel->txtNumbItems->setText("40000");
    d->frmInserimentoPanel->cmdOkNumber->click();
    ASSERT_EQ(prompts.messages().size(), 1u);
    EXPECT_EQ(prompts.messages()[0], " Error n. 6  Overflow in cmdOkNumber_Click");
    EXPECT_TRUE(d->frmMain->isEnabled());
    EXPECT_TRUE(doc.gcolItems.empty());
}

TEST_F(ItemDialogTest, KeyFiltersDropWhatTheBoxesDoNotTake)
{
    auto d = openAdd(branch);
    d->txtItemName->clear();
    QTest::keyClicks(d->txtItemName, "Ab 1.x_y-z,!");
    EXPECT_EQ(d->txtItemName->text(), "Ab1x_y-z");
    QTest::keyClick(d->txtItemName, Qt::Key_Backspace);
    EXPECT_EQ(d->txtItemName->text(), "Ab1x_y-");

    // Pasting would go round the filter.
    QApplication::clipboard()->setText("x.y z");
    ASSERT_EQ(QApplication::clipboard()->text(), "x.y z");
    QTest::keyClick(d->txtItemName, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(d->txtItemName->text(), "Ab1x_y-");

    d->txtAddress->clear();
    QTest::keyClicks(d->txtAddress, "1e+2,3-. a");
    EXPECT_EQ(d->txtAddress->text(), "123-. ");

    d->cmbDataType->setCurrentText("boolean array");
    d->txtBit->clear();
    QTest::keyClicks(d->txtBit, "1x5");
    EXPECT_EQ(d->txtBit->text(), "15");
    d->txtElements->clear();
    QTest::keyClicks(d->txtElements, "2h0");
    EXPECT_EQ(d->txtElements->text(), "20");
}

TEST_F(ItemDialogTest, EditModeConfirmsChangesAndStaysOpen)
{
    DocNode* node = addItem(branch, "Temp", "signed 16 bit", 40);
    auto& prev = *doc.gcolItems.item(node->key());
    prev.sArea = "HR";
    prev.bBcd = true;
    prev.sComment = "old";
    auto d = openEdit(node);
    EXPECT_EQ(d->cmdOk->text(), "Confirm Modify");
    EXPECT_FALSE(d->cmdAdd->isEnabled());
    EXPECT_FALSE(d->cmdGroup->isEnabled());
    EXPECT_EQ(d->txtItemName->text(), "Temp");
    EXPECT_EQ(d->txtComment->text(), "old");
    EXPECT_EQ(d->txtAddress->text(), "40");
    EXPECT_EQ(d->cmbArea->currentText(), "HR");
    EXPECT_EQ(d->cmbDataType->currentText(), "signed 16 bit");
    EXPECT_EQ(d->cmbAccessRight->currentText(), "READ");
    EXPECT_TRUE(d->chkBcd->isChecked());

    d->txtItemName->setText("Temp2");
    d->txtAddress->setText("41");
    d->cmdOk->click();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(doc.gcolItems.contains("PLC1.Valves.Temp"));
    EXPECT_EQ(doc.gcolItems.item("PLC1.Valves.Temp2")->nAddress, 41);
    EXPECT_EQ(node->key(), "PLC1.Valves.Temp2");
    EXPECT_EQ(node->text(), "Temp2");
    EXPECT_EQ(doc.TreeView1.selectedItem(), node);
    EXPECT_FALSE(doc.gbCfgSaved);

    // The second confirmation works on the item as it is now.
    d->txtItemName->setText("Temp3");
    d->cmdOk->click();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_TRUE(doc.gcolItems.contains("PLC1.Valves.Temp3"));
    EXPECT_FALSE(doc.gcolItems.contains("PLC1.Valves.Temp2"));
    EXPECT_EQ(node->key(), "PLC1.Valves.Temp3");
    EXPECT_EQ(doc.gcolItems.count(), 1u);

    d->cmdCancel->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(doc.gbItemOk);
}

TEST_F(ItemDialogTest, AFailedEditKeepsTheItem)
{
    DocNode* node = addItem(branch, "Temps", "signed 16 bit array", 40);
    auto d = openEdit(node);
    d->txtItemName->setText("Temps2");
    d->txtElements->setText("40000");
    d->cmdOk->click();
    ASSERT_EQ(prompts.messages().size(), 1u);
    EXPECT_EQ(prompts.messages()[0], " Error n. 6  Overflow in AddItemToColl");
    EXPECT_TRUE(doc.gcolItems.contains("PLC1.Valves.Temps"));
    EXPECT_EQ(node->key(), "PLC1.Valves.Temps");
}

TEST_F(ItemDialogTest, AnItemCannotTakeTheKeyOfASiblingBranch)
{
    addBranch(branch, "Sub");
    auto d = openAdd(branch);
    d->txtItemName->setText("Sub");
    d->txtAddress->setText("1");
    d->cmdOk->click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"Name already existing. Please use a different name"});
    EXPECT_TRUE(doc.gcolItems.empty());
    EXPECT_TRUE(d->isVisible());
}

TEST_F(ItemDialogTest, ExitChangesNothing)
{
    auto d = openAdd(branch);
    d->txtItemName->setText("X");
    d->txtAddress->setText("1");
    doc.gbItemOk = true;
    d->cmdCancel->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(doc.gbItemOk);
    EXPECT_TRUE(doc.gcolItems.empty());
    EXPECT_TRUE(doc.gbCfgSaved);
    EXPECT_FALSE(branch->hasChildren());
}

} // namespace

namespace {

// Opening an item in the dialog and confirming it without a change must change nothing.
TEST_F(ItemDialogTest, ConfirmingEveryItemUnchangedLeavesTheFileAsItWas)
{
    const char* source = std::getenv("VORLASK_SOURCE");
    ASSERT_TRUE(source && *source);
    EditorDocument demo;
    ASSERT_TRUE(openConfigurationFile(demo, std::string(source) + "/examples/demo.xml", prompts));
    // Stored values the dialog's rules would not pick themselves: a BIN timer, an area, a type
    // and an access word outside the lists, a bit on a word type.
    std::vector<std::string> keys;
    for (const auto& [key, item] : demo.gcolItems)
        keys.push_back(key);
    ASSERT_GE(keys.size(), 20u);
    for (const auto& [key, item] : demo.gcolItems) {
        if (item->sArea == "TC")
            item->bBcd = false;
    }
    auto odd = demo.gcolItems.item(keys[1]);
    odd->sAccessRight = "READONLY";
    auto odd2 = demo.gcolItems.item(keys[2]);
    odd2->sArea = "EM";
    auto odd3 = demo.gcolItems.item(keys[3]);
    odd3->nBitNumber = 7;
    const std::string before = exportText(demo);

    for (const std::string& key : keys) {
        demo.gbItemModify = true;
        demo.TreeView1.setSelectedItem(&demo.TreeView1.node(key));
        frmItems dialog(demo, prompts);
        dialog.mPrevItem = demo.gcolItems.item(key);
        dialog.show();
        dialog.cmdOk->click();
        EXPECT_TRUE(prompts.messages().empty()) << key;
    }
    EXPECT_EQ(exportText(demo), before);
}

} // namespace
