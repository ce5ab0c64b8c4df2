#include "tests/editor-ui/clipboard_test_support.h"

#include "editor/model/editor_error.h"
#include "editor/model/xml_export.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <unistd.h>

namespace {

const char* const kRefusal = "Please change Item name (do not use default name) before copying";
const char* const kUnable = "Unable to drag nodes here";
const char* const kInUse = "Name already in use at this level. Move not allowed";

class EditCommandsWindow : public EditWindowTest {
protected:
    void SetUp() override
    {
        EditWindowTest::SetUp();
        addPlc("P");
        addBranch("P", "A");
        addItem("P.A", "Alpha");
        addItem("P.A", "Beta");
        addItem("P.A", "New_Item_7");
        addBranch("P.A", "S");
        addItem("P.A.S", "W");
        addBranch("P", "B");
        addItem("P.B", "Z");
        addPlc("Q");
        doc().gbCfgSaved = true;
    }
    std::size_t clipboardCount() { return doc().gaClipboard ? doc().gaClipboard->size() - 1 : 0; }
};

} // namespace

TEST_F(EditCommandsWindow, CopyFromListStopsAtTheDefaultName)
{
    clickInList("P.A", {"Alpha", "Beta", "New_Item_7"});
    ASSERT_EQ(listNames(), (std::vector<std::string>{"Alpha", "Beta", "New_Item_7"}));
    w->mnuCopy_Click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{kRefusal});
    ASSERT_EQ(clipboardCount(), 2u);
    EXPECT_EQ((*doc().gaClipboard)[1], doc().gcolItems.item("P.A.Alpha"));
    EXPECT_EQ((*doc().gaClipboard)[2], doc().gcolItems.item("P.A.Beta"));
    EXPECT_EQ((*doc().gaClipboard)[0], nullptr);
}

TEST_F(EditCommandsWindow, CopyRefusalsAndBranches)
{
    // Nothing taken: the clipboard keeps what it had.
    clickInTree("P.A.Alpha");
    w->mnuCopy_Click();
    clickInList("P.A", {"New_Item_7"});
    w->mnuCopy_Click();
    ASSERT_EQ(clipboardCount(), 1u);
    EXPECT_EQ((*doc().gaClipboard)[1]->sName, "Alpha");
    clickInTree("P.A");
    w->mnuCopy_Click();
    EXPECT_EQ(prompts.messages(),
              (std::vector<std::string>{kRefusal, "Please use Drag&Drop to copy and paste branches"}));
    EXPECT_EQ(clipboardCount(), 1u);
}

TEST_F(EditCommandsWindow, PasteNamesCopiesInTheirOwnBranch)
{
    clickInTree("P.A.Beta");
    w->mnuCopy_Click();
    clickInTree("P.A");
    w->mnuPaste_Click();
    w->mnuPaste_Click();
    EXPECT_NE(node("P.A.Beta_0"), nullptr);
    EXPECT_NE(node("P.A.Beta_1"), nullptr);
    // The list shows the new items at once.
    std::vector<std::string> names = listNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Beta_1"), names.end());
    EXPECT_FALSE(doc().gbCfgSaved);
    // Elsewhere the name stays.
    clickInTree("P.B");
    w->mnuPaste_Click();
    ASSERT_NE(doc().gcolItems.find("P.B.Beta"), nullptr);
    EXPECT_NE(doc().gcolItems.item("P.B.Beta"), doc().gcolItems.item("P.A.Beta"));
    EXPECT_EQ(doc().gcolItems.item("P.B.Beta")->sComment, "comment of Beta");
    EXPECT_TRUE(prompts.messages().empty());
}

TEST_F(EditCommandsWindow, PasteCollisionRaisesTheCounter)
{
    clickInTree("P.A.Beta");
    w->mnuCopy_Click();
    clickInTree("P.A");
    w->mnuPaste_Click();
    addItem("P.A", "Beta_1");
    w->mnuPaste_Click();
    ASSERT_NE(doc().gcolItems.find("P.A.Beta_1_2"), nullptr);
    EXPECT_EQ(doc().gcolItems.item("P.A.Beta_1_2")->sName, "Beta_1_2");
    EXPECT_EQ(node("P.A.Beta_1_2")->text(), "Beta_1_2");
    EXPECT_EQ(doc().gnPasteCount, 3);
}

TEST_F(EditCommandsWindow, PasteWhereItCannotGo)
{
    clickInTree("P.A.Beta");
    w->mnuCopy_Click();
    std::size_t items = doc().gcolItems.count();
    for (const char* key : {"P", "P.A.Alpha"}) {
        clickInTree(key);
        w->mnuPaste_Click();
    }
    w->TreeView1_NodeClick(tree().root());
    w->mnuPaste_Click();
    EXPECT_EQ(doc().gcolItems.count(), items);
    EXPECT_EQ(doc().gnPasteCount, 0);
    tree().setSelectedItem(nullptr);
    w->mnuPaste_Click();
    doc().gaClipboard.reset();
    clickInTree("P.A");
    w->mnuPaste_Click();
    EXPECT_EQ(prompts.messages(), (std::vector<std::string>{"Copied object can not be added here ", "No items to paste."}));
    // An empty clipboard only moves the counter.
    doc().resetClipboard();
    w->mnuPaste_Click();
    EXPECT_EQ(doc().gnPasteCount, 1);
    EXPECT_EQ(doc().gcolItems.count(), items);
}

TEST_F(EditCommandsWindow, PasteNextToABranchOfThatNameIsRefused)
{
    addItem("P", "S");
    clickInTree("P.S");
    w->mnuCopy_Click();
    clickInTree("P.A");
    w->mnuPaste_Click();
    EXPECT_EQ(prompts.messages(),
              std::vector<std::string>{"The name S is used by a branch at this level. Item not pasted"});
    EXPECT_EQ(doc().gcolItems.find("P.A.S"), nullptr);
    EXPECT_EQ(node("P.A.S")->tag(), "branch");
}

TEST_F(EditCommandsWindow, CutOfADefaultNameIsRefusedThenDeleted)
{
    clickInTree("P.A.New_Item_7");
    prompts.queueAnswer(PromptAnswer::Yes);
    w->mnuCut_Click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{kRefusal});
    EXPECT_EQ(prompts.questions(), std::vector<std::string>{"Are you sure you want to delete New_Item_7 ?"});
    EXPECT_EQ(node("P.A.New_Item_7"), nullptr);
    EXPECT_EQ(doc().gcolItems.find("P.A.New_Item_7"), nullptr);
    EXPECT_FALSE(doc().gbCfgSaved);
}

TEST_F(EditCommandsWindow, CutItemStaysPastable)
{
    clickInTree("P.B.Z");
    prompts.queueAnswer(PromptAnswer::Yes);
    w->mnuCut_Click();
    EXPECT_EQ(doc().gcolItems.find("P.B.Z"), nullptr);
    clickInTree("P.A");
    w->mnuPaste_Click();
    ASSERT_NE(doc().gcolItems.find("P.A.Z"), nullptr);
    EXPECT_EQ(doc().gcolItems.item("P.A.Z")->sComment, "comment of Z");
}

TEST_F(EditCommandsWindow, DeleteQuestionsAndWhatGoes)
{
    struct Case {
        const char* what;
        std::function<void()> select;
        PromptAnswer answer;
        std::string question;
        std::vector<std::string> gone;
        std::vector<std::string> kept;
    };
    std::vector<Case> cases = {
        {"list rows", [&] { clickInList("P.A", {"Alpha", "Beta"}); }, PromptAnswer::Yes,
         "Are you sure you want to delete the selected items ?", {"P.A.Alpha", "P.A.Beta"}, {"P.A.New_Item_7", "P.A.S.W"}},
        {"list rows, No", [&] { clickInList("P.A", {"Alpha"}); }, PromptAnswer::No,
         "Are you sure you want to delete the selected items ?", {}, {"P.A.Alpha"}},
        {"branch", [&] { clickInTree("P.A"); }, PromptAnswer::Yes,
         "Are you sure you want to delete A and all its items?", {"P.A", "P.A.Alpha", "P.A.S", "P.A.S.W"}, {"P.B.Z"}},
        {"item", [&] { clickInTree("P.B.Z"); }, PromptAnswer::Yes, "Are you sure you want to delete Z ?", {"P.B.Z"},
         {"P.B"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp(); // a fresh window and document each time
        c.select();
        prompts.queueAnswer(c.answer);
        w->mnuDelete_Click();
        EXPECT_EQ(prompts.questions(), std::vector<std::string>{c.question});
        for (const auto& key : c.gone) {
            EXPECT_EQ(node(key), nullptr) << key;
            EXPECT_FALSE(doc().gcolItems.contains(key)) << key;
            EXPECT_FALSE(doc().gcolBranches.contains(key)) << key;
        }
        for (const auto& key : c.kept)
            EXPECT_NE(node(key), nullptr) << key;
        EXPECT_EQ(doc().gbCfgSaved, c.gone.empty());
        TearDown();
    }
    SetUp();
}

TEST_F(EditCommandsWindow, DeleteLeavesPlcsRootAndOtherFocusAlone)
{
    clickInTree("P");
    w->mnuDelete_Click();
    w->TreeView1_NodeClick(tree().root());
    w->setTreeFocus();
    w->mnuDelete_Click();
    // List focus with an item selected in the tree.
    clickInTree("P.B.Z");
    w->setListFocus();
    QCoreApplication::processEvents();
    w->mnuDelete_Click();
    EXPECT_TRUE(prompts.records().empty());
    EXPECT_NE(node("P"), nullptr);
    EXPECT_NE(node("P.B.Z"), nullptr);
}

TEST_F(EditCommandsWindow, DeleteRefreshesTheListOfTheParent)
{
    clickInTree("P.A.Beta");
    prompts.queueAnswer(PromptAnswer::Yes);
    w->mnuDelete_Click();
    // The list shows branch A without Beta.
    EXPECT_EQ(listNames(), (std::vector<std::string>{"Alpha", "New_Item_7"}));
    EXPECT_EQ(tree().selectedItem(), node("P.A"));
}

TEST_F(EditCommandsWindow, PasteNamesChecks)
{
    struct Case {
        const char* what;
        std::string clip;
        std::vector<std::string> rows;
        std::string message;
        bool clipboardCleared;
    } cases[] = {
        {"empty clipboard", "", {"Alpha"}, "Empty clipboard !", false},
        {"three lines for two rows", "N1\r\nN2\r\nN3\r\n", {"Alpha", "Beta"}, "Invalid selection", false},
        {"no final line end", "N1\r\nN2", {"Alpha", "Beta"}, "Invalid selection", false},
        {"one line without a break", "A\r\nB", {"Alpha", "Beta"}, "Invalid selection", false},
        {"name of an unselected item", "N1\r\nNew_Item_7\r\n", {"Alpha", "Beta"}, "Name already existing", true},
        {"two equal new names", "N1\r\nN1\r\n", {"Alpha", "Beta"},
         "The name N1 is given to more than one item. Nothing was renamed", false},
        {"a sibling branch's name", "S\r\n", {"Alpha"}, "The name S is used by a branch at this level. Nothing was renamed",
         false},
        {"single line naming an unselected item", "Beta", {"Alpha"}, "Name already existing", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.clear();
        replaceShown = 0;
        answerReplace(true);
        clickInList("P.A", c.rows);
        if (c.clip.empty())
            QGuiApplication::clipboard()->clear();
        else
            setClipboard(c.clip);
        w->mnuPasteName_Click();
        EXPECT_EQ(prompts.messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(replaceShown, 0);
        EXPECT_EQ(clipboard().empty(), c.clipboardCleared || c.clip.empty());
        EXPECT_NE(doc().gcolItems.find("P.A.Alpha"), nullptr);
        EXPECT_NE(doc().gcolItems.find("P.A.Beta"), nullptr);
    }
}

TEST_F(EditCommandsWindow, PasteNamesShowsReplaceTextAndNoChangesNothing)
{
    answerReplace(false);
    clickInList("P.A", {"Alpha", "Beta"});
    setClipboard("  One \r\nTwo\r\n");
    w->mnuPasteName_Click();
    EXPECT_EQ(replaceCaption, "Replace Text");
    EXPECT_EQ(replaceGrid, (std::vector<std::vector<std::string>>{
                               {"Item name", "", "New Item name"}, {"Alpha", "<---", "One"}, {"Beta", "<---", "Two"}}));
    int dpi = w->logicalDpiX();
    EXPECT_EQ(replaceWidths, (std::vector<int>{2000 * dpi / 1440, 400 * dpi / 1440, 2000 * dpi / 1440}));
    EXPECT_NE(doc().gcolItems.find("P.A.Alpha"), nullptr);
    EXPECT_EQ(clipboard(), "  One \r\nTwo\r\n");
    EXPECT_TRUE(doc().gbCfgSaved);
    EXPECT_FALSE(doc().gbReplaceYes);
}

TEST_F(EditCommandsWindow, PasteNamesRenamesEverywhereAndSkipsRefusedNames)
{
    answerReplace(true);
    clickInList("P.A", {"Alpha", "Beta", "New_Item_7"});
    setClipboard("First\nx,y\nThird\n"); // line feeds alone, as copied on Linux
    w->mnuPasteName_Click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"Character (,) not acceptable in string x,y"});
    ASSERT_NE(doc().gcolItems.find("P.A.First"), nullptr);
    EXPECT_EQ(doc().gcolItems.item("P.A.First")->sName, "First");
    EXPECT_EQ(doc().gcolItems.item("P.A.First")->sComment, "comment of Alpha");
    EXPECT_EQ(node("P.A.First")->text(), "First");
    EXPECT_NE(doc().gcolItems.find("P.A.Beta"), nullptr);
    EXPECT_NE(doc().gcolItems.find("P.A.Third"), nullptr);
    EXPECT_EQ(doc().gcolItems.find("P.A.Alpha"), nullptr);
    int row = w->ListView1()->findRow("P.A.Third");
    ASSERT_GE(row, 0);
    EXPECT_EQ(w->ListView1()->rowText(row).toStdString(), "Third");
    EXPECT_TRUE(clipboard().empty());
    EXPECT_FALSE(doc().gbCfgSaved);
}

TEST_F(EditCommandsWindow, PasteNamesSwapsNamesAmongSelectedItems)
{
    answerReplace(true);
    clickInList("P.A", {"Alpha", "Beta"});
    setClipboard("Beta\r\nAlpha\r\n");
    w->mnuPasteName_Click();
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_EQ(doc().gcolItems.item("P.A.Beta")->sComment, "comment of Alpha");
    EXPECT_EQ(doc().gcolItems.item("P.A.Alpha")->sComment, "comment of Beta");
    EXPECT_EQ(doc().gcolItems.count(), 5u);
    EXPECT_EQ(node("P.A.Alpha")->text(), "Alpha");
}

TEST_F(EditCommandsWindow, PasteCommentsAndTheClipboardRule)
{
    answerReplace(true);
    clickInList("P.A", {"Alpha"});
    setClipboard("only one");
    w->mnuPasteComment_Click();
    EXPECT_EQ(replaceGrid, (std::vector<std::vector<std::string>>{{"Item comment", "", "New Item comment"},
                                                                    {"comment of Alpha", "<---", "only one"}}));
    EXPECT_EQ(doc().gcolItems.item("P.A.Alpha")->sComment, "only one");
    EXPECT_EQ(w->ListView1()->rowText(w->ListView1()->findRow("P.A.Alpha"), 1).toStdString(), "only one");
    EXPECT_EQ(clipboard(), "only one"); // a single comment stays for the next item

    clickInList("P.A", {"Alpha", "Beta"});
    setClipboard("c1\r\nc2\r\n");
    w->mnuPasteComment_Click();
    EXPECT_EQ(doc().gcolItems.item("P.A.Beta")->sComment, "c2");
    EXPECT_TRUE(clipboard().empty());
    int dpi = w->logicalDpiX();
    EXPECT_EQ(replaceWidths[0], 3000 * dpi / 1440);

    clickInList("P.A", {"Alpha", "Beta"});
    setClipboard("c1\r\n");
    w->mnuPasteComment_Click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"Invalid selection"});
}

TEST_F(EditCommandsWindow, SplittingClipboardLines)
{
    struct Case {
        const char* text;
        std::vector<std::string> lines;
        bool ended;
    } cases[] = {
        {"A\r\nB\r\n", {"A", "B"}, true},
        {"A\r\nB", {"A"}, true},
        {"  A  ", {"  A  "}, false},
        {" A \r\n\r\n", {"A", ""}, true},
        {"A\nB\n", {"A", "B"}, true},
    };
    for (const auto& c : cases) {
        bool ended = false;
        EXPECT_EQ(EditCommands::splitLines(c.text, ended), c.lines) << c.text;
        EXPECT_EQ(ended, c.ended) << c.text;
    }
}

TEST_F(EditCommandsWindow, LineEndsBeyondSixteenBitsEndTheCommand)
{
    bool ended = false;
    EXPECT_THROW(EditCommands::splitLines(std::string(40000, 'x') + "\r\n", ended), EditorError);
    clickInList("P.A", {"Alpha"});
    setClipboard(std::string(40000, 'x') + "\r\n");
    w->mnuPasteName_Click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{" Error n. 6  Overflow in Paste_Name_Click"});
    EXPECT_NE(doc().gcolItems.find("P.A.Alpha"), nullptr);
}

TEST_F(EditCommandsWindow, CopiedItemsSurviveOpeningAnotherFile)
{
    const std::string path = "/tmp/pelmora-clipboard-open-" + std::to_string(::getpid()) + ".xml";
    ASSERT_TRUE(CreateXML(doc(), path, prompts));
    clickInTree("P.B.Z");
    doc().gcolItems.item("P.B.Z")->sComment = "from the first file";
    w->mnuCopy_Click();
    prompts.queueFile(path);
    w->mnuOpenCfg_Click();
    std::remove(path.c_str());
    ASSERT_NE(node("P.A"), nullptr);
    clickInTree("P.A");
    w->mnuPaste_Click();
    ASSERT_NE(doc().gcolItems.find("P.A.Z"), nullptr);
    EXPECT_EQ(doc().gcolItems.item("P.A.Z")->sComment, "from the first file");
    // New empties the clipboard.
    doc().gbCfgSaved = true;
    w->mnuNewCfg_Click();
    ASSERT_TRUE(doc().gaClipboard.has_value());
    EXPECT_EQ(doc().gaClipboard->size(), 1u);
}

TEST_F(EditCommandsWindow, DragMovesAnItem)
{
    auto alpha = doc().gcolItems.item("P.A.Alpha");
    dragAndDrop("P.A.Alpha", "P.B", false);
    EXPECT_EQ(node("P.A.Alpha"), nullptr);
    ASSERT_NE(node("P.B.Alpha"), nullptr);
    EXPECT_EQ(doc().gcolItems.item("P.B.Alpha"), alpha);
    EXPECT_EQ(alpha->sKey, "P.B.Alpha");
    EXPECT_FALSE(doc().gcolItems.contains("P.A.Alpha"));
    EXPECT_TRUE(node("P.B")->expanded());
    EXPECT_EQ(w->dropHighlight(), nullptr);
    EXPECT_FALSE(doc().gbCfgSaved);
    EXPECT_TRUE(prompts.records().empty());
}

TEST_F(EditCommandsWindow, DragWithCtrlCopiesIndependently)
{
    dragAndDrop("P.A.Alpha", "P.B", true);
    ASSERT_NE(doc().gcolItems.find("P.B.Alpha"), nullptr);
    ASSERT_NE(doc().gcolItems.find("P.A.Alpha"), nullptr);
    doc().gcolItems.item("P.B.Alpha")->sComment = "changed";
    EXPECT_EQ(doc().gcolItems.item("P.A.Alpha")->sComment, "comment of Alpha");
    EXPECT_NE(node("P.A.Alpha"), nullptr);
}

TEST_F(EditCommandsWindow, DragMovesABranchWithEverythingBelow)
{
    auto s = doc().gcolBranches.item("P.A.S");
    dragAndDrop("P.A", "P.B", false);
    for (const char* key : {"P.B.A", "P.B.A.Alpha", "P.B.A.S", "P.B.A.S.W"})
        EXPECT_NE(node(key), nullptr) << key;
    EXPECT_EQ(doc().gcolBranches.item("P.B.A.S"), s);
    EXPECT_EQ(s->sKey, "P.B.A.S");
    EXPECT_EQ(doc().gcolItems.item("P.B.A.S.W")->sKey, "P.B.A.S.W");
    for (const char* key : {"P.A", "P.A.Alpha", "P.A.S", "P.A.S.W"}) {
        EXPECT_EQ(node(key), nullptr) << key;
        EXPECT_FALSE(doc().gcolItems.contains(key) || doc().gcolBranches.contains(key)) << key;
    }
    EXPECT_EQ(childKeys("P.B.A.S"), std::vector<std::string>{"P.B.A.S.W"});
}

TEST_F(EditCommandsWindow, DragCopiesABranchToAnotherPlc)
{
    dragAndDrop("P.A", "Q", true);
    for (const char* key : {"Q.A", "Q.A.Beta", "Q.A.S.W", "P.A.S.W"})
        EXPECT_NE(node(key), nullptr) << key;
    EXPECT_NE(doc().gcolItems.item("Q.A.S.W"), doc().gcolItems.item("P.A.S.W"));
    EXPECT_NE(doc().gcolBranches.item("Q.A.S"), doc().gcolBranches.item("P.A.S"));
    EXPECT_EQ(doc().gcolBranches.item("Q.A.S")->sKey, "Q.A.S");
}

TEST_F(EditCommandsWindow, RefusedDrops)
{
    addBranch("Q", "A");
    struct Case {
        const char* source;
        const char* target;
        const char* message; // nullptr: nothing shown
        PromptIcon icon;
    } cases[] = {
        {"P.A", "P.A.S", kUnable, PromptIcon::Warning},
        {"P.A", "P.A", kUnable, PromptIcon::Warning},
        {"P.A", "P.B.Z", kUnable, PromptIcon::Warning},
        {"P.A.Alpha", "P.A", nullptr, PromptIcon::None},
        {"P.A", "Q", kInUse, PromptIcon::Critical},
        {"P", "Q", kUnable, PromptIcon::Warning},
        {"P.A", "<root>", kUnable, PromptIcon::Warning},
        {"<root>", "P.A", nullptr, PromptIcon::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " onto " + c.target);
        prompts.clear();
        std::size_t nodes = tree().count();
        std::size_t items = doc().gcolItems.count();
        std::size_t branches = doc().gcolBranches.count();
        doc().gbCfgSaved = true;
        dragAndDrop(c.source, c.target, false);
        if (c.message) {
            ASSERT_EQ(prompts.records().size(), 1u);
            EXPECT_EQ(prompts.records()[0].text, c.message);
            EXPECT_EQ(prompts.records()[0].icon, c.icon);
        } else {
            EXPECT_TRUE(prompts.records().empty());
        }
        EXPECT_EQ(tree().count(), nodes);
        EXPECT_EQ(doc().gcolItems.count(), items);
        EXPECT_EQ(doc().gcolBranches.count(), branches);
        EXPECT_EQ(w->dropHighlight(), nullptr);
        EXPECT_TRUE(doc().gbCfgSaved);
    }
    EXPECT_NE(node("P.A.Alpha"), nullptr);
}

TEST_F(EditCommandsWindow, OnlyTheRightButtonStartsADrag)
{
    w->mSourceNode = nullptr;
    QModelIndex index = w->indexOfNode(node("P.A"));
    QPoint pos = w->TreeView1()->visualRect(index).center();
    QMouseEvent press(QEvent::MouseButtonPress, pos, w->TreeView1()->viewport()->mapToGlobal(pos), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    EXPECT_FALSE(w->TreeView1_MouseDown(&press));
    EXPECT_EQ(w->mSourceNode, nullptr);

    // A right press waits for the mouse to move the drag distance: a plain right-click (press,
    // a twitch, release) starts no drag and so drops nothing.
    QMouseEvent right(QEvent::MouseButtonPress, pos, w->TreeView1()->viewport()->mapToGlobal(pos), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    EXPECT_TRUE(w->TreeView1_MouseDown(&right));
    EXPECT_EQ(w->mSourceNode, node("P.A"));
    ASSERT_TRUE(w->mDragPress.has_value());
    const QPoint twitch = pos + QPoint(1, 0);
    QMouseEvent move(QEvent::MouseMove, twitch, w->TreeView1()->viewport()->mapToGlobal(twitch), Qt::NoButton,
                     Qt::RightButton, Qt::NoModifier);
    EXPECT_TRUE(w->TreeView1_MouseMove(&move));
    EXPECT_TRUE(w->mDragPress.has_value());
    w->TreeView1_MouseUp();
    EXPECT_FALSE(w->mDragPress.has_value());
    EXPECT_TRUE(prompts.messages().empty());

    w->mSourceNode = node("P.A");
    w->mShiftState = 2;
    QMimeData mime;
    Qt::DropActions allowed;
    w->TreeView1_OLEStartDrag(mime, allowed);
    EXPECT_EQ(allowed, Qt::CopyAction);
    w->mShiftState = 1;
    w->TreeView1_OLEStartDrag(mime, allowed);
    EXPECT_EQ(allowed, Qt::MoveAction);
}

TEST_F(EditCommandsWindow, ForeignTextIsNotDropped)
{
    QMimeData mime;
    mime.setText("P.A.Alpha");
    QTreeView* view = w->TreeView1();
    QPoint pos = view->visualRect(w->indexOfNode(node("P.B"))).center();
    QDragEnterEvent enter(pos, Qt::MoveAction, &mime, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QDropEvent drop(QPointF(pos), Qt::MoveAction, &mime, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);
    EXPECT_NE(node("P.A.Alpha"), nullptr);
    EXPECT_EQ(node("P.B.Alpha"), nullptr);
}
