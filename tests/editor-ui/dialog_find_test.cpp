#include "editor/ui/frm_find.h"

#include "tests/editor-ui/window_test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class FindWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        newWithSample();
    }
    frmFind* open()
    {
        window->mnuFind_Click();
        return dynamic_cast<frmFind*>(window->mFindWindow);
    }
    std::string selectedKey() { return window->selectedNode() ? window->selectedNode()->key() : "<none>"; }
};

TEST_F(FindWindowTest, LoadingShowsTheWindowAndMarksItLoaded)
{
    frmFind* find = open();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    EXPECT_EQ(find->windowTitle(), "Find Item");
    EXPECT_EQ(find->lblFind->text(), "Type the name of the item to find");
    EXPECT_EQ(find->cmdFind->text(), "Find");
    EXPECT_EQ(find->cmdNext->text(), "Find Next");
    EXPECT_EQ(find->cmdCancel->text(), "Exit");
    EXPECT_FALSE(find->isModal());
    EXPECT_TRUE(doc().gbFindLoaded);
    EXPECT_EQ(find->mnCounter, 0);
    // A second Find shows the same window.
    EXPECT_EQ(open(), find);
}

TEST_F(FindWindowTest, FindTakesTheFirstNodeWhoseTextBeginsWithTheSearchIgnoringCase)
{
    addItem("PLC1.A", "Valve_1");
    frmFind* find = open();
    find->txtFind->setText("valve");
    find->cmdFind->click();
    EXPECT_EQ(selectedKey(), "PLC1.A.Valve_1");
    // The root's text is the file path: it is searched as well.
    find->txtFind->setText(QString::fromStdString(root()->text().substr(0, 4)).toUpper());
    find->cmdFind->click();
    EXPECT_EQ(window->selectedNode(), root());
}

TEST_F(FindWindowTest, FindNextWalksTheMatchesAndStaysOnTheLast)
{
    addItem("PLC1.A", "Valve_1");
    addItem("PLC1", "valve_2");
    addItem("PLC1.A.Z", "VALVE3");
    frmFind* find = open();
    find->txtFind->setText("Valve");
    find->cmdFind->click();
    EXPECT_EQ(selectedKey(), "PLC1.A.Valve_1");
    const char* expected[] = {"PLC1.valve_2", "PLC1.A.Z.VALVE3", "PLC1.A.Z.VALVE3"};
    for (const char* key : expected) {
        find->cmdNext->click();
        EXPECT_EQ(selectedKey(), key);
    }
    EXPECT_EQ(find->mnCounter, 3);
}

TEST_F(FindWindowTest, FindDoesNotResetTheFindNextCount)
{
    for (const char* name : {"M1", "M2", "M3", "M4", "M5"})
        addItem("PLC1", name);
    frmFind* find = open();
    find->txtFind->setText("m");
    find->cmdNext->click();
    find->cmdNext->click();
    EXPECT_EQ(selectedKey(), "PLC1.M3");
    find->cmdFind->click();
    EXPECT_EQ(selectedKey(), "PLC1.M1");
    find->cmdNext->click();
    EXPECT_EQ(selectedKey(), "PLC1.M4");
    // Nor does changing the search text.
    find->txtFind->setText("M");
    find->cmdNext->click();
    EXPECT_EQ(selectedKey(), "PLC1.M5");
}

TEST_F(FindWindowTest, EmptyTextOrNoMatchChangesNothing)
{
    window->selectNode(node("PLC1.X"));
    frmFind* find = open();
    find->cmdFind->click();
    find->cmdNext->click();
    EXPECT_EQ(selectedKey(), "PLC1.X");
    EXPECT_EQ(find->mnCounter, 1);
    find->txtFind->setText("nothing");
    find->cmdFind->click();
    find->cmdNext->click();
    EXPECT_EQ(selectedKey(), "PLC1.X");
    EXPECT_TRUE(prompts.messages().empty());
}

TEST_F(FindWindowTest, AFoundItemGetsTheCommandsOfAnItemAndNothingIsAddedUnderIt)
{
    window->TreeView1_NodeClick(root());
    frmFind* find = open();
    find->txtFind->setText("T1");
    find->cmdFind->click();
    EXPECT_EQ(selectedKey(), "PLC1.A.T1");
    EXPECT_FALSE(window->menuState().aitO);
    EXPECT_FALSE(window->menuState().abrO);
    // Even when called regardless, adding under an item is refused: Save would never write it.
    const std::size_t items = doc().gcolItems.count(), branches = doc().gcolBranches.count();
    window->mnuAddItem_Click();
    window->mnuAddBranch_Click();
    EXPECT_EQ(doc().gcolItems.count(), items);
    EXPECT_EQ(doc().gcolBranches.count(), branches);
    EXPECT_EQ(prompts.messages(), (std::vector<std::string>{"Select a PLC or a branch to add to.",
                                                            "Select a PLC or a branch to add to."}));
}

TEST_F(FindWindowTest, ReopeningRestartsTheFindNextCount)
{
    for (const char* name : {"M1", "M2", "M3"})
        addItem("PLC1", name);
    frmFind* find = open();
    find->txtFind->setText("M");
    find->cmdNext->click();
    find->cmdNext->click();
    EXPECT_EQ(selectedKey(), "PLC1.M3");
    find->cmdCancel->click();
    EXPECT_FALSE(doc().gbFindLoaded);
    EXPECT_EQ(window->mFindWindow, nullptr);

    frmFind* again = open();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(doc().gbFindLoaded);
    EXPECT_EQ(again->mnCounter, 0);
    again->txtFind->setText("M");
    again->cmdNext->click();
    EXPECT_EQ(selectedKey(), "PLC1.M2");
}

TEST_F(FindWindowTest, ClosingTheMainWindowUnloadsIt)
{
    open();
    ASSERT_TRUE(doc().gbFindLoaded);
    window->close();
    EXPECT_FALSE(doc().gbFindLoaded);
    EXPECT_EQ(window->mFindWindow, nullptr);
}

} // namespace
