// Which commands the window enables, per situation.
#include "tests/editor-ui/window_test_support.h"

#include "editor/ui/editor_list.h"

#include <QAction>
#include <QTest>
#include <QTreeView>

namespace {

using State = frmEditing::MenuState;
constexpr bool T = true, F = false;

const State kStartup{T, F, F, F, F, F, F, F, F, F, F, F, F};
const State kImporting{F, F, F, F, F, F, F, F, F, F, F, F, F};
const State kAfterOpen{T, T, F, F, T, F, F, F, F, F, T, F, F};
const State kRoot{T, T, F, F, T, F, F, T, F, T, T, F, F};
const State kPlc{T, T, T, T, F, F, F, T, F, T, T, F, F};
const State kBranch{T, T, T, T, F, F, F, T, T, T, T, F, F};
const State kBranchFirstItem{T, T, T, T, F, F, F, T, T, T, T, T, T};
const State kItem{T, T, F, F, F, T, T, F, T, T, T, T, T};

// Menus and buttons as the menu and toolbar tables tie them to the thirteen flags.
void expectControlsFollow(frmEditing& w, const State& s)
{
    auto menu = [&](const char* name) { return w.menuAction(name)->isEnabled(); };
    auto button = [&](const char* key) { return w.toolbarButton(key)->isEnabled(); };
    EXPECT_EQ(menu("mnuFile"), s.fileO);
    EXPECT_EQ(menu("mnuNewCfg"), s.fileO);
    EXPECT_EQ(menu("mnuOpenCfg"), s.fileO);
    EXPECT_EQ(menu("mnuSaveCfg"), s.fileS);
    EXPECT_EQ(menu("mnuSaveAs"), s.fileS);
    EXPECT_EQ(menu("mnuCloseCfg"), s.fileS);
    EXPECT_EQ(menu("mnuObjects"), s.abrO || s.aitO || s.aplO || s.dltO);
    EXPECT_EQ(menu("mnuAddPlc"), s.aplO);
    EXPECT_EQ(menu("mnuAddBranch"), s.abrO);
    EXPECT_EQ(menu("mnuAddItem"), s.aitO);
    EXPECT_EQ(menu("mnuEdit"), s.cpyO || s.cutO || s.pstO);
    EXPECT_EQ(menu("mnuCopy"), s.cpyO);
    EXPECT_EQ(menu("mnuCut"), s.cutO);
    EXPECT_EQ(menu("mnuPaste"), s.pstO);
    EXPECT_EQ(menu("mnuDelete"), s.dltO);
    EXPECT_EQ(menu("mnuPasteName"), s.pNa);
    EXPECT_EQ(menu("mnuPasteComment"), s.pCo);
    for (const char* name : {"mnuView", "mnuIcon", "mnuSmallIcon", "mnuList", "mnuReport"})
        EXPECT_EQ(menu(name), s.vewO) << name;
    EXPECT_EQ(menu("mnuTools"), s.tolO);
    EXPECT_EQ(menu("mnuFind"), s.tolO);
    EXPECT_TRUE(menu("mnuExit"));
    EXPECT_TRUE(menu("mnuAbout"));

    EXPECT_EQ(button("new"), s.fileO);
    EXPECT_EQ(button("open"), s.fileO);
    EXPECT_EQ(button("save"), s.fileS);
    EXPECT_EQ(button("close"), s.fileS);
    EXPECT_EQ(button("plc"), s.aplO);
    EXPECT_EQ(button("branch"), s.abrO);
    EXPECT_EQ(button("item"), s.aitO);
    EXPECT_EQ(button("copy"), s.cpyO);
    EXPECT_EQ(button("cut"), s.cutO);
    EXPECT_EQ(button("paste"), s.pstO);
    EXPECT_EQ(button("delete"), s.dltO);
    for (const char* key : {"icon", "smallicon", "list", "report"})
        EXPECT_EQ(button(key), s.vewO) << key;
    EXPECT_EQ(button("find"), s.tolO);
    EXPECT_EQ(button("pastitem"), s.pNa);
    EXPECT_EQ(button("pastcomment"), s.pCo);
    EXPECT_TRUE(button("exit"));
}

class EnablingTest : public WindowTest {};

TEST_F(EnablingTest, StartUpOffersOnlyNewOpenExitAndAbout)
{
    EXPECT_EQ(window->menuState(), kStartup);
    expectControlsFollow(*window, kStartup);
    EXPECT_FALSE(window->TreeView1()->isVisibleTo(window.get()));
    EXPECT_FALSE(window->ListView1()->isVisibleTo(window.get()));
    EXPECT_FALSE(window->pnlImpStat()->isVisibleTo(window.get()));
}

TEST_F(EnablingTest, EveryTableRowReachesMenusAndButtons)
{
    for (const State& s : {kStartup, kImporting, kAfterOpen, kRoot, kPlc, kBranch, kBranchFirstItem, kItem}) {
        window->EnMenuButt(s);
        EXPECT_EQ(window->menuState(), s);
        expectControlsFollow(*window, s);
    }
}

TEST_F(EnablingTest, DeleteAloneKeepsTheObjectsTitleEnabled)
{
    window->EnMenuButt({.fileO = true, .fileS = true, .dltO = true});
    EXPECT_TRUE(menuEnabled("mnuObjects"));
    EXPECT_FALSE(menuEnabled("mnuEdit"));
    EXPECT_TRUE(menuEnabled("mnuDelete"));
}

TEST_F(EnablingTest, NewEnablesSaveAddPlcAndFind)
{
    window->mnuNewCfg_Click();
    EXPECT_EQ(window->menuState(), kAfterOpen);
    expectControlsFollow(*window, kAfterOpen);
}

TEST_F(EnablingTest, NodeClicksSetTheRowOfTheirKind)
{
    newWithSample();
    struct Case {
        const char* key;  // "" for the root
        State expected;
    };
    const Case cases[] = {
        {"", kRoot},
        {"PLC1", kPlc},
        {"PLC1.A.Z", kBranch},         // empty branch
        {"PLC1.A", kBranchFirstItem},  // in letter order T1 comes first
        {"PLC1.X", kItem},
        {"PLC1.A.T1", kItem},
    };
    for (const Case& c : cases) {
        DocNode* n = *c.key ? node(c.key) : root();
        ASSERT_NE(n, nullptr) << c.key;
        window->TreeView1_NodeClick(n);
        EXPECT_EQ(window->menuState(), c.expected) << c.key;
        EXPECT_EQ(window->selectedNode(), n) << c.key;
    }
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_EQ(prompts.busyDepth(), 0);
}

TEST_F(EnablingTest, BranchWhoseFirstSortedChildIsABranchKeepsPasteNamesOff)
{
    window->mnuNewCfg_Click();
    addPlc("P", 1);
    addBranch("P", "B");
    addItem("P.B", "Zeta");       // added first, sorted last
    addBranch("P.B", "Alpha");
    window->TreeView1_NodeClick(node("P.B"));
    EXPECT_EQ(node("P.B")->firstChild()->key(), "P.B.Alpha");
    EXPECT_EQ(window->menuState(), kBranch);

    // With an item first in letter order the bulk paste commands come on.
    addItem("P.B", "Aaa");
    window->TreeView1_NodeClick(node("P.B"));
    EXPECT_EQ(window->menuState(), kBranchFirstItem);
}

TEST_F(EnablingTest, ListRowClicksFollowTheRowsNode)
{
    newWithSample();
    EditorList* list = window->ListView1();

    window->TreeView1_NodeClick(root());
    list->setCurrentRow(list->findRow("PLC1"));
    window->ListView1_Click();
    EXPECT_EQ(window->menuState(), kPlc);

    window->TreeView1_NodeClick(node("PLC1.A"));
    list->setCurrentRow(list->findRow("PLC1.A.T2"));
    window->ListView1_Click();
    EXPECT_EQ(window->menuState(), kItem);
    EXPECT_TRUE(menuEnabled("mnuCopy"));
    EXPECT_TRUE(menuEnabled("mnuCut"));
    EXPECT_TRUE(menuEnabled("mnuDelete"));
    EXPECT_TRUE(menuEnabled("mnuPasteName"));
    EXPECT_TRUE(menuEnabled("mnuPasteComment"));
    EXPECT_FALSE(menuEnabled("mnuPaste"));
    EXPECT_FALSE(menuEnabled("mnuAddItem"));
}

TEST_F(EnablingTest, ListClickOnAVanishedNodeOrNothingChangesNothingSilently)
{
    newWithSample();
    window->TreeView1_NodeClick(node("PLC1.A"));
    EditorList* list = window->ListView1();
    const int row = list->findRow("PLC1.A.T1");
    window->tree().remove(node("PLC1.A.T1"));  // the row stays, its node is gone
    list->setCurrentRow(row);
    window->ListView1_Click();
    EXPECT_EQ(window->menuState(), kBranchFirstItem);

    list->clearSelection();
    window->ListView1_Click();
    EXPECT_EQ(window->menuState(), kBranchFirstItem);
    EXPECT_TRUE(prompts.messages().empty());
}

TEST_F(EnablingTest, MouseClicksOnTreeAndListRunTheirHandlers)
{
    newWithSample();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTreeView* tree = window->TreeView1();
    window->tree().ensureVisible(node("PLC1.A.T1"));
    QCoreApplication::processEvents();

    QRect rect = tree->visualRect(window->indexOfNode(node("PLC1")));
    ASSERT_TRUE(rect.isValid());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(window->selectedNode(), node("PLC1"));
    EXPECT_EQ(window->menuState(), kPlc);

    rect = tree->visualRect(window->indexOfNode(node("PLC1.A")));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(window->menuState(), kBranchFirstItem);
    EditorList* list = window->ListView1();
    ASSERT_EQ(list->rowCount(), 2);

    QTest::mouseClick(list->activeViewport(), Qt::LeftButton, {}, list->rowRect(0).center());
    EXPECT_TRUE(list->isRowSelected(0));
    EXPECT_EQ(window->menuState(), kItem);

    // The keyboard moves the selection as a click does, and the commands follow it.
    window->TreeView1_NodeClick(root());
    const auto atRoot = window->menuState();
    ASSERT_NE(atRoot, kPlc);
    QWidget* view = list->activeViewport()->parentWidget();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Down);
    ASSERT_GE(list->rowCount(), 1);
    EXPECT_TRUE(list->isRowSelected(0) || list->isRowSelected(1));
    EXPECT_EQ(window->menuState(), kPlc);
}

}  // namespace
