// Random sequences of Edit commands and drops: after every step the tree, the three
// collections and an export read back again must tell the same story.
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"
#include "tests/editor-ui/clipboard_test_support.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QUndoStack>

#include <random>
#include <set>

namespace {

class RandomEditing : public EditWindowTest {
protected:
    std::mt19937 rng{12345};
    int fresh = 0;

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    std::vector<DocNode*> nodesWithTag(const std::string& tag)
    {
        std::vector<DocNode*> out;
        for (DocNode* n : tree().nodes())
            if (n->tag() == tag)
                out.push_back(n);
        return out;
    }

    DocNode* anyOf(const std::vector<DocNode*>& nodes) { return nodes.empty() ? nullptr : nodes[pick(static_cast<int>(nodes.size()))]; }

    void checkAgreement(const std::string& step)
    {
        SCOPED_TRACE(step);
        std::size_t items = 0, branches = 0, plcs = 0;
        for (DocNode* n : tree().nodes()) {
            if (n->tag() == "item") {
                ++items;
                auto item = doc().gcolItems.find(n->key());
                ASSERT_NE(item, nullptr) << n->key();
                EXPECT_EQ(item->sKey, n->key());
                EXPECT_EQ(item->sName, n->text());
                EXPECT_EQ(item->getParentKey(), n->parent()->key());
            } else if (n->tag() == "branch") {
                ++branches;
                auto branch = doc().gcolBranches.find(n->key());
                ASSERT_NE(branch, nullptr) << n->key();
                EXPECT_EQ(branch->sKey, n->key());
                EXPECT_EQ(branch->sName, n->text());
            } else if (n->tag() == "plc") {
                ++plcs;
                EXPECT_TRUE(doc().gcolPlcs.contains(n->key()));
            }
        }
        EXPECT_EQ(doc().gcolItems.count(), items);
        EXPECT_EQ(doc().gcolBranches.count(), branches);
        EXPECT_EQ(doc().gcolPlcs.count(), plcs);

        std::string text = exportText(doc());
        EditorDocument back;
        back.createCollections();
        back.TreeView1.add(nullptr, "", "back.xml", "config", "config", "config");
        ScriptedPrompts quiet;
        ASSERT_TRUE(ImportXMLText(back, text, quiet));
        EXPECT_TRUE(quiet.records().empty());
        EXPECT_EQ(back.gcolItems.count(), items);
        EXPECT_EQ(back.gcolBranches.count(), branches);
        EXPECT_EQ(exportText(back), text);
        std::set<std::string> keys, backKeys;
        for (DocNode* n : tree().nodes())
            keys.insert(n->key());
        for (DocNode* n : back.TreeView1.nodes())
            backKeys.insert(n->key());
        EXPECT_EQ(backKeys, keys);
    }

    std::string step()
    {
        switch (pick(9)) {
        case 0: { // copy an item from the tree
            DocNode* item = anyOf(nodesWithTag("item"));
            if (!item)
                return "copy: none";
            clickInTree(item->key());
            w->mnuCopy_Click();
            return "copy " + item->key();
        }
        case 1: { // copy list rows of a branch
            DocNode* b = anyOf(nodesWithTag("branch"));
            if (!b)
                return "copy rows: none";
            std::vector<std::string> names;
            for (DocNode* c : b->children())
                if (c->tag() == "item" && pick(2))
                    names.push_back(c->text());
            clickInList(b->key(), names);
            w->mnuCopy_Click();
            return "copy rows of " + b->key();
        }
        case 2: { // paste into a branch
            DocNode* b = anyOf(nodesWithTag("branch"));
            if (!b)
                return "paste: none";
            clickInTree(b->key());
            w->mnuPaste_Click();
            return "paste into " + b->key();
        }
        case 3: { // delete an item
            DocNode* item = anyOf(nodesWithTag("item"));
            if (!item)
                return "delete: none";
            std::string key = item->key();
            clickInTree(key);
            prompts.queueAnswer(PromptAnswer::Yes);
            w->mnuDelete_Click();
            return "delete " + key;
        }
        case 4: { // delete a branch, rarely
            DocNode* b = anyOf(nodesWithTag("branch"));
            if (!b || pick(3))
                return "delete branch: skipped";
            std::string key = b->key();
            clickInTree(key);
            prompts.queueAnswer(PromptAnswer::Yes);
            w->mnuDelete_Click();
            return "delete branch " + key;
        }
        case 5:
        case 6: { // drag a branch or item onto a PLC or branch
            std::vector<DocNode*> sources = nodesWithTag("item");
            for (DocNode* b : nodesWithTag("branch"))
                sources.push_back(b);
            std::vector<DocNode*> targets = nodesWithTag("plc");
            for (DocNode* b : nodesWithTag("branch"))
                targets.push_back(b);
            DocNode* s = anyOf(sources);
            DocNode* t = anyOf(targets);
            if (!s || !t)
                return "drag: none";
            bool copy = pick(2);
            std::string what = (copy ? "copy-drag " : "drag ") + s->key() + " onto " + t->key();
            dragAndDropNode(s, t, copy);
            return what;
        }
        case 7: { // rename the items of a branch from the clipboard
            DocNode* b = anyOf(nodesWithTag("branch"));
            if (!b)
                return "rename: none";
            std::vector<std::string> names;
            std::string clip;
            for (DocNode* c : b->children())
                if (c->tag() == "item") {
                    names.push_back(c->text());
                    clip += "N" + std::to_string(++fresh) + "\r\n";
                }
            if (names.empty())
                return "rename: no items";
            answerReplace(true);
            clickInList(b->key(), names);
            setClipboard(clip);
            w->mnuPasteName_Click();
            return "rename items of " + b->key();
        }
        default: { // new comments
            DocNode* b = anyOf(nodesWithTag("branch"));
            if (!b)
                return "comments: none";
            std::vector<std::string> names;
            std::string clip;
            for (DocNode* c : b->children())
                if (c->tag() == "item") {
                    names.push_back(c->text());
                    clip += "note & <" + std::to_string(++fresh) + ">\r\n";
                }
            if (names.empty())
                return "comments: no items";
            answerReplace(true);
            clickInList(b->key(), names);
            setClipboard(clip);
            w->mnuPasteComment_Click();
            return "comments of " + b->key();
        }
        }
    }
};

} // namespace

TEST_F(RandomEditing, UndoingEveryStepGivesBackTheStartAndRedoingGivesTheEnd)
{
    addPlc("P1");
    addPlc("P2");
    addBranch("P1", "A");
    addBranch("P1", "B");
    addBranch("P2", "D");
    for (const char* parent : {"P1", "P1.A", "P1.B", "P2.D"})
        for (const char* name : {"Valve", "Pump", "Temp"})
            addItem(parent, name);
    // A click sorts a node's children, which changes the file's order outside any command:
    // every node is clicked once first, as a user looking through the file would.
    for (DocNode* n : tree().nodes())
        if (n->tag() != "item")
            clickInTree(n->key());
    doc().gbCfgOpen = true;
    doc().gbCfgSaved = true;
    w->resetUndo(); // what was built counts as the saved file
    const std::string start = exportText(doc());
    for (int i = 0; i < 200 && !HasFatalFailure(); ++i)
        step();
    const std::string end = exportText(doc());
    QUndoStack* stack = w->undoStack();
    ASSERT_GT(stack->count(), 60); // the commands really changed the document
    EXPECT_FALSE(doc().gbCfgSaved);
    EXPECT_TRUE(w->findChild<QAction*>("mnuUndo")->text().startsWith("&Undo "));

    while (stack->canUndo())
        stack->undo();
    EXPECT_EQ(stack->index(), 0);
    EXPECT_EQ(stack->cleanIndex(), 0);
    EXPECT_EQ(exportText(doc()), start);
    checkAgreement("all undone");
    EXPECT_TRUE(doc().gbCfgSaved); // back where it was saved
    while (stack->canRedo())
        stack->redo();
    EXPECT_EQ(exportText(doc()), end);
    checkAgreement("all redone");
    EXPECT_FALSE(doc().gbCfgSaved);
}

TEST_F(RandomEditing, TreeCollectionsAndFileAgreeAfterEveryStep)
{
    // Branch names in upper case, as a file read back gives them.
    addPlc("P1");
    addPlc("P2");
    addBranch("P1", "A");
    addBranch("P1", "B");
    addBranch("P1.A", "C");
    addBranch("P2", "D");
    for (const char* parent : {"P1", "P1.A", "P1.B", "P1.A.C", "P2.D"})
        for (const char* name : {"Valve", "Pump", "Temp"})
            addItem(parent, name);
    checkAgreement("start");
    int changes = 0;
    for (int i = 0; i < 120 && !HasFatalFailure(); ++i) {
        std::string before = exportText(doc());
        std::string what = step();
        checkAgreement(std::to_string(i) + ": " + what);
        if (::testing::Test::HasFailure())
            break;
        changes += exportText(doc()) != before;
    }
    // The sequence must really have edited the document, not only been refused.
    EXPECT_GT(changes, 30);
}
