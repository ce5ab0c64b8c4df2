#include "editor/ui/frm_branch.h"

#include "tests/editor-ui/dialog_test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class BranchDialogTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        plc = addPlc("PLC1");
    }
    std::unique_ptr<frmBranch> openAdd(DocNode* under)
    {
        doc.gbBranchModify = false;
        doc.gbBranchOk = false;
        select(under);
        auto dialog = std::make_unique<frmBranch>(doc, prompts);
        dialog->show();
        return dialog;
    }
    std::unique_ptr<frmBranch> openRename(DocNode* node)
    {
        doc.gbBranchModify = true;
        select(node);
        auto dialog = std::make_unique<frmBranch>(doc, prompts);
        dialog->mPrevBranch = doc.gcolBranches.item(node->key());
        dialog->show();
        return dialog;
    }

    DocNode* plc = nullptr;
};

TEST_F(BranchDialogTest, AddingOffersTheNextDefaultNameAndKeysItUnderTheSelection)
{
    doc.gnBranchCount = 2;
    auto d = openAdd(plc);
    EXPECT_EQ(d->windowTitle(), "Branch Name");
    EXPECT_EQ(d->lblBranchName->text(), "Branch name:");
    EXPECT_EQ(d->txtBranchName->text(), "NewBranch2");
    d->cmdOk->click();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_FALSE(d->isVisible());
    ASSERT_TRUE(doc.gcolBranches.contains("PLC1.NewBranch2"));
    EXPECT_EQ(doc.gcolBranches.last()->sName, "NewBranch2");
    EXPECT_TRUE(doc.gbBranchOk);
    EXPECT_FALSE(doc.gbCfgSaved);
}

TEST_F(BranchDialogTest, RenamingRekeysTheWholeSubTree)
{
    DocNode* a = addBranch(plc, "A");
    DocNode* b = addBranch(a, "B");
    DocNode* t = addItem(b, "T");
    DocNode* u = addItem(a, "U");
    auto d = openRename(a);
    EXPECT_EQ(d->txtBranchName->text(), "A");
    d->txtBranchName->setText("C");
    d->cmdOk->click();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_FALSE(d->isVisible());

    EXPECT_EQ(a->key(), "PLC1.C");
    EXPECT_EQ(a->text(), "C");
    EXPECT_EQ(b->key(), "PLC1.C.B");
    EXPECT_EQ(t->key(), "PLC1.C.B.T");
    EXPECT_EQ(u->key(), "PLC1.C.U");
    EXPECT_EQ(doc.TreeView1.selectedItem(), a);
    for (const char* key : {"PLC1.C", "PLC1.C.B"}) {
        ASSERT_TRUE(doc.gcolBranches.contains(key)) << key;
        EXPECT_EQ(doc.gcolBranches.item(key)->sKey, key);
    }
    for (const char* key : {"PLC1.C.B.T", "PLC1.C.U"}) {
        ASSERT_TRUE(doc.gcolItems.contains(key)) << key;
        EXPECT_EQ(doc.gcolItems.item(key)->sKey, key);
    }
    EXPECT_EQ(doc.gcolBranches.item("PLC1.C")->sName, "C");
    EXPECT_FALSE(doc.gcolBranches.contains("PLC1.A"));
    EXPECT_FALSE(doc.gcolBranches.contains("PLC1.A.B"));
    EXPECT_FALSE(doc.gcolItems.contains("PLC1.A.B.T"));
    EXPECT_EQ(doc.gcolBranches.count(), 2u);
    EXPECT_EQ(doc.gcolItems.count(), 2u);
    EXPECT_FALSE(doc.gbCfgSaved);
    EXPECT_FALSE(doc.gbBranchOk);
}

TEST_F(BranchDialogTest, KeepingTheOwnNameIsAcceptedASiblingsNameIsNot)
{
    DocNode* a = addBranch(plc, "A");
    addBranch(plc, "B");
    auto d = openRename(a);
    d->txtBranchName->setText("B");
    d->cmdOk->click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"Name already existing. Please use a different name"});
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(a->key(), "PLC1.A");

    d->cmdCancel->click();
    EXPECT_FALSE(doc.gbBranchOk);
    EXPECT_TRUE(doc.gbCfgSaved);
    EXPECT_TRUE(doc.gcolBranches.contains("PLC1.A"));

    prompts.clear();
    auto again = openRename(a);
    again->cmdOk->click();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_EQ(a->key(), "PLC1.A");
    EXPECT_TRUE(doc.gcolBranches.contains("PLC1.A"));
}

TEST_F(BranchDialogTest, NamesThatCanNotBeKeysOrElementNamesAreRefused)
{
    addItem(plc, "Pump");
    const std::pair<const char*, const char*> cases[] = {
        {"Line.2", "Character (.) not acceptable in string Line.2"},
        {"2ndLine", "branch name"},
        {"My Line", "branch name"},
        {"a<b", "branch name"},
        {"tag", "reserved"},
        {"", "can not be empty"},
        {"Stra\xc3\x9f" "e\xe2\x82\xac", "can not be written to the configuration file"},
        {"Pump", "Name already existing. Please use a different name"},
    };
    for (auto [name, message] : cases) {
        SCOPED_TRACE(name);
        prompts.clear();
        auto d = openAdd(plc);
        d->txtBranchName->setText(QString::fromUtf8(name));
        d->cmdOk->click();
        ASSERT_EQ(prompts.messages().size(), 1u);
        EXPECT_NE(prompts.messages()[0].find(message), std::string::npos) << prompts.messages()[0];
        EXPECT_TRUE(d->isVisible());
        EXPECT_FALSE(doc.gbBranchOk);
        EXPECT_TRUE(doc.gcolBranches.empty());
    }
}

TEST_F(BranchDialogTest, CancelAfterARefusedNameLeavesEverythingAsItWas)
{
    addBranch(plc, "A");
    auto d = openAdd(plc);
    d->txtBranchName->setText("A");
    d->cmdOk->click();
    ASSERT_EQ(prompts.messages().size(), 1u);
    d->cmdCancel->click();
    EXPECT_FALSE(doc.gbBranchOk);
    EXPECT_EQ(doc.gcolBranches.count(), 1u);
    EXPECT_TRUE(doc.gbCfgSaved);
}

} // namespace
