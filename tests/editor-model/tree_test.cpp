#include "editor/model/doc_tree.h"
#include "editor/model/editor_error.h"
#include "editor/model/keyed_collection.h"

#include <gtest/gtest.h>

namespace {

// Records every callback as text and checks the tree's state at "about to" and after points.
struct Recorder : TreeObserver {
    std::vector<std::string> log;
    static std::string name(const DocNode* n) { return n ? (n->key().empty() ? n->text() : n->key()) : "<top>"; }
    void nodeAboutToBeAdded(DocNode* p, int row) override { log.push_back("+? " + name(p) + " " + std::to_string(row)); }
    void nodeAdded(DocNode* n) override { log.push_back("+ " + name(n) + " " + std::to_string(n->row())); }
    void nodeAboutToBeRemoved(DocNode* n) override { log.push_back("-? " + name(n)); }
    void nodeRemoved(DocNode* p, int row) override { log.push_back("- " + name(p) + " " + std::to_string(row)); }
    void nodeChanged(DocNode* n) override { log.push_back("~ " + name(n)); }
    void nodeAboutToBeMoved(DocNode* p, int from, int to) override
    {
        log.push_back(">? " + name(p) + " " + std::to_string(from) + " " + std::to_string(to));
    }
    void nodeMoved(DocNode* n) override { log.push_back("> " + name(n) + " " + std::to_string(n->row())); }
    void treeAboutToBeCleared() override { log.push_back("clear?"); }
    void treeCleared() override { log.push_back("clear"); }
    void selectionChanged(DocNode* n) override { log.push_back("sel " + name(n)); }
};

std::vector<std::string> texts(const DocNode* n)
{
    std::vector<std::string> out;
    for (auto* c : n->children())
        out.push_back(c->text());
    return out;
}

} // namespace

TEST(KeyedCollection, InsertionOrderDuplicateAndMoveToEnd)
{
    KeyedCollection<int> c;
    c.add("a", std::make_shared<int>(1));
    c.add("b", std::make_shared<int>(2));
    c.add("c", std::make_shared<int>(3));
    try {
        c.add("b", std::make_shared<int>(9));
        ADD_FAILURE();
    } catch (const EditorError& e) {
        EXPECT_EQ(e.number, editor_err::kCollectionKey);
    }
    EXPECT_EQ(*c.item("b"), 2);
    auto b = c.item("b");
    c.remove("b");
    c.add("b", b);
    std::vector<std::string> keys;
    for (const auto& e : c)
        keys.push_back(e.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(*c.last(), 2);
    EXPECT_THROW(c.remove("zz"), EditorError);
    EXPECT_THROW(c.item("zz"), EditorError);
    EXPECT_EQ(c.find("zz"), nullptr);
    EXPECT_TRUE(c.contains("a"));
    EXPECT_FALSE(c.contains("A")); // keys compare exactly
}

TEST(DocTree, AddRemoveAndKeysWithCallbacks)
{
    DocTree t;
    Recorder r;
    t.addObserver(&r);
    DocNode* root = t.add(nullptr, "", "/x.xml", "config", "config", "config");
    DocNode* p = t.add(root, "P", "P", "plc", "plc", "plc");
    t.addChild("P", "P.A", "A", "branch", "branch", "branch");
    t.addChild("P.A", "P.A.X", "X", "item", "item", "item");
    EXPECT_EQ(t.root(), root);
    EXPECT_EQ(t.count(), 4u);
    EXPECT_THROW(t.addChild("P", "P.A", "A", "branch", "b", "b"), EditorError);
    EXPECT_THROW(t.addChild("nope", "nope.X", "X", "item", "i", "i"), EditorError);
    EXPECT_EQ(t.count(), 4u);
    t.setSelectedItem(t.find("P.A.X"));
    r.log.clear();
    t.remove(t.find("P.A"));
    EXPECT_EQ(r.log, (std::vector<std::string>{"-? P.A", "- P 0", "sel <top>"}));
    EXPECT_EQ(t.find("P.A.X"), nullptr);
    EXPECT_EQ(t.selectedItem(), nullptr);
    EXPECT_EQ(t.count(), 2u);
    EXPECT_FALSE(p->hasChildren());
    // The freed key can be used again.
    t.addChild("P", "P.A", "A", "branch", "branch", "branch");
    EXPECT_NE(t.find("P.A"), nullptr);
}

TEST(DocTree, NodesInOrderOfAddition)
{
    DocTree t;
    DocNode* root = t.add(nullptr, "", "r", "config", "", "");
    t.add(root, "B", "B", "plc", "", "");
    t.add(root, "A", "A", "plc", "", "");
    t.addChild("B", "B.Z", "Z", "item", "", "");
    t.setSorted(root, true);
    std::vector<std::string> keys;
    for (auto* n : t.nodes())
        keys.push_back(n->key());
    EXPECT_EQ(keys, (std::vector<std::string>{"", "B", "A", "B.Z"}));
    EXPECT_EQ(texts(root), (std::vector<std::string>{"A", "B"}));
}

TEST(DocTree, SortedChildrenStaySortedWithMoveCallbacks)
{
    DocTree t;
    Recorder r;
    DocNode* p = t.add(nullptr, "P", "P", "plc", "", "");
    for (const char* name : {"d", "B", "a", "C"})
        t.add(p, std::string("P.") + name, name, "item", "", "");
    t.addObserver(&r);
    t.setSorted(p, true);
    EXPECT_EQ(texts(p), (std::vector<std::string>{"a", "B", "C", "d"}));
    // Every move announced with Qt's destination convention, and rows consistent after.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(p->children()[i]->row(), i);
    EXPECT_EQ(r.log.front(), "~ P");
    EXPECT_EQ(r.log[1], ">? P 2 0");
    r.log.clear();
    t.add(p, "P.bb", "bb", "item", "", "");
    EXPECT_EQ(texts(p), (std::vector<std::string>{"a", "B", "bb", "C", "d"}));
    EXPECT_EQ(r.log, (std::vector<std::string>{"+? P 2", "+ P.bb 2"}));
    r.log.clear();
    t.setText(t.find("P.a"), "e");
    EXPECT_EQ(texts(p), (std::vector<std::string>{"B", "bb", "C", "d", "e"}));
    EXPECT_EQ(r.log, (std::vector<std::string>{"~ P.a", ">? P 0 5", "> P.a 4"}));
    EXPECT_EQ(p->firstChild()->nextSibling()->text(), "bb");
    EXPECT_EQ(p->lastChild()->nextSibling(), nullptr);
}

TEST(DocTree, SetKeyRefusesTakenKey)
{
    DocTree t;
    DocNode* a = t.add(nullptr, "A", "A", "plc", "", "");
    t.add(nullptr, "B", "B", "plc", "", "");
    EXPECT_THROW(t.setKey(a, "B"), EditorError);
    EXPECT_EQ(a->key(), "A");
    t.setKey(a, "C");
    EXPECT_EQ(t.find("C"), a);
    EXPECT_EQ(t.find("A"), nullptr);
}

TEST(DocTree, ClearAndVisibility)
{
    DocTree t;
    Recorder r;
    t.addObserver(&r);
    DocNode* root = t.add(nullptr, "", "r", "config", "", "");
    DocNode* p = t.add(root, "P", "P", "plc", "", "");
    DocNode* a = t.add(p, "P.A", "A", "branch", "", "");
    t.ensureVisible(a);
    EXPECT_TRUE(root->expanded());
    EXPECT_TRUE(p->expanded());
    EXPECT_FALSE(a->expanded());
    EXPECT_TRUE(DocTree::isAncestorOrSelf(p, a));
    EXPECT_FALSE(DocTree::isAncestorOrSelf(a, p));
    r.log.clear();
    t.clear();
    EXPECT_EQ(r.log, (std::vector<std::string>{"clear?", "clear"}));
    EXPECT_EQ(t.root(), nullptr);
    EXPECT_EQ(t.find("P"), nullptr);
    t.removeObserver(&r);
    t.add(nullptr, "X", "X", "plc", "", "");
    EXPECT_EQ(r.log.size(), 2u);
}
