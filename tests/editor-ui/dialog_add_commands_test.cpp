#include "editor/ui/frm_branch.h"
#include "editor/ui/frm_items.h"
#include "editor/ui/frm_plc.h"

#include "tests/editor-ui/dialog_test_support.h"
#include "tests/editor-ui/window_test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using State = frmEditing::MenuState;
constexpr bool T = true, F = false;
const State kPlc{T, T, T, T, F, F, F, T, F, T, T, F, F};
const State kBranchFirstItem{T, T, T, T, F, F, F, T, T, T, T, T, T};

class AddCommandsTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        window->mnuNewCfg_Click();
    }
};

TEST_F(AddCommandsTest, AddPlcPutsTheConfirmedPlcUnderTheRootAndShowsIt)
{
    bool seen = false;
    whenModal([&](QWidget* w) {
        auto* d = dynamic_cast<frmPLC*>(w);
        ASSERT_NE(d, nullptr);
        seen = true;
        EXPECT_EQ(d->txtName->text(), "New Plc 0");
        d->txtName->setText("Press");
        d->txtId->setText("4");
        d->cmdApply->click();
    });
    window->mnuAddPlc_Click();
    ASSERT_TRUE(seen);
    DocNode* plc = node("Press");
    ASSERT_NE(plc, nullptr);
    EXPECT_EQ(plc->parent(), root());
    EXPECT_EQ(plc->tag(), "plc");
    EXPECT_EQ(plc->image(), "plc");
    EXPECT_EQ(window->selectedNode(), plc);
    EXPECT_EQ(doc().gnPlcCount, 1);
    EXPECT_FALSE(doc().gbCfgSaved);
    EXPECT_TRUE(window->menuState() == kPlc);
    EXPECT_TRUE(prompts.messages().empty());
}

TEST_F(AddCommandsTest, ExitFromTheDialogAddsNothing)
{
    window->selectNode(root());
    whenModal([](QWidget* w) { dynamic_cast<frmPLC*>(w)->cmdExit->click(); });
    window->mnuAddPlc_Click();
    EXPECT_FALSE(root()->hasChildren());
    EXPECT_TRUE(doc().gcolPlcs.empty());
    EXPECT_EQ(doc().gnPlcCount, 0);

    addPlc("PLC1", 1);
    window->selectNode(node("PLC1"));
    whenModal([](QWidget* w) { dynamic_cast<frmBranch*>(w)->cmdCancel->click(); });
    window->mnuAddBranch_Click();
    EXPECT_FALSE(node("PLC1")->hasChildren());
    EXPECT_EQ(doc().gnBranchCount, 0);
}

TEST_F(AddCommandsTest, AddBranchMakesTheNodeUnderTheSelection)
{
    addPlc("PLC1", 1);
    doc().gnBranchCount = 2;
    window->selectNode(node("PLC1"));
    whenModal([](QWidget* w) { dynamic_cast<frmBranch*>(w)->cmdOk->click(); });
    window->mnuAddBranch_Click();
    DocNode* branch = node("PLC1.NewBranch2");
    ASSERT_NE(branch, nullptr);
    EXPECT_EQ(branch->parent(), node("PLC1"));
    EXPECT_EQ(branch->tag(), "branch");
    EXPECT_EQ(branch->text(), "NewBranch2");
    EXPECT_EQ(window->selectedNode(), branch);
    EXPECT_EQ(doc().gnBranchCount, 3);
}

TEST_F(AddCommandsTest, AddItemAddsEveryConfirmedItemAndRefreshesTheList)
{
    addPlc("PLC1", 1);
    addBranch("PLC1", "A");
    window->selectNode(node("PLC1.A"));
    whenModal([](QWidget* w) {
        auto* d = dynamic_cast<frmItems*>(w);
        d->txtItemName->setText("Speed");
        d->txtAddress->setText("20");
        d->cmdAdd->click();
        d->cmdAdd->click();
        d->cmdCancel->click();
    });
    window->mnuAddItem_Click();
    EXPECT_TRUE(prompts.messages().empty());
    ASSERT_NE(node("PLC1.A.Speed"), nullptr);
    ASSERT_NE(node("PLC1.A.New_Item_1"), nullptr);
    EXPECT_EQ(doc().gcolItems.item("PLC1.A.New_Item_1")->nAddress, 21);
    EXPECT_FALSE(doc().gbItemOk); // Exit clears it
    EXPECT_TRUE(window->menuState() == kBranchFirstItem);
}

TEST_F(AddCommandsTest, DoubleClickOpensTheDialogOfTheNodeForEditing)
{
    addPlc("PLC1", 3);
    addBranch("PLC1", "A");
    addItem("PLC1.A", "T1", "boolean", 10, 4);

    window->selectNode(node("PLC1"));
    whenModal([](QWidget* w) {
        auto* d = dynamic_cast<frmPLC*>(w);
        EXPECT_EQ(d->txtId->text(), "3");
        d->txtName->setText("Line");
        d->cmdApply->click();
    });
    window->TreeView1_DblClick();
    EXPECT_TRUE(doc().gbPlcModify);
    EXPECT_NE(node("Line.A.T1"), nullptr);

    window->selectNode(node("Line.A"));
    whenModal([](QWidget* w) {
        auto* d = dynamic_cast<frmBranch*>(w);
        EXPECT_EQ(d->txtBranchName->text(), "A");
        d->txtBranchName->setText("B");
        d->cmdOk->click();
    });
    window->TreeView1_DblClick();
    EXPECT_NE(node("Line.B.T1"), nullptr);

    window->selectNode(node("Line.B.T1"));
    whenModal([](QWidget* w) {
        auto* d = dynamic_cast<frmItems*>(w);
        EXPECT_EQ(d->cmdOk->text(), "Confirm Modify");
        EXPECT_EQ(d->txtBit->text(), "4");
        d->txtItemName->setText("T9");
        d->cmdOk->click();
        d->cmdCancel->click();
    });
    window->TreeView1_DblClick();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_NE(node("Line.B.T9"), nullptr);
    EXPECT_TRUE(doc().gcolItems.contains("Line.B.T9"));
    EXPECT_EQ(doc().gcolItems.count(), 1u);
}

} // namespace
