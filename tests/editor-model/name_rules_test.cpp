#include "editor/model/editor_error.h"
#include "editor/model/name_rules.h"
#include "model_fixture.h"

#include <gtest/gtest.h>

namespace {

struct Names : ::testing::Test {
    EditorDocument doc;
    ScriptedPrompts prompts;
    void SetUp() override
    {
        openEmpty(doc);
        addPlc(doc, "P");
        addBranch(doc, "P", "A");
        addBranch(doc, "P", "B");
        addItem(doc, "P", "Valve");
        addItem(doc, "P.A", "X");
        addBranch(doc, "P.A", "S");
        addItem(doc, "P.A.S", "Y");
        addBranch(doc, "P.A.S", "Deep");
        addItem(doc, "P.A.S.Deep", "Z");
    }
    void select(const std::string& key) { doc.TreeView1.setSelectedItem(doc.TreeView1.find(key)); }
};

const char* const kDuplicate = "Name already existing. Please use a different name";

} // namespace

TEST_F(Names, DuplicateCheckByKindAndSelection)
{
    struct Case {
        const char* selected;
        const char* kind;
        const char* name;
        bool useParent;
        bool accepted;
    } cases[] = {
        {"P.A", "branch", "A", true, true},       // its own present name
        {"P.A", "branch", "B", true, false},      // a sibling branch's name
        {"P", "branch", "A", false, false},       // adding under the PLC
        {"P", "branch", "Valve", false, true},    // an item's name: other kind
        {"P", "item", "valve", false, true},      // case-sensitive
        {"P", "item", "Valve", false, false},
        {"P.A.X", "item", "X", true, true},
        {"P.A.S.Y", "item", "X", false, true},    // an item has no children
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.selected) + " " + c.name);
        select(c.selected);
        ScriptedPrompts p;
        EXPECT_EQ(CheckDuplNames(c.kind, c.name, doc.TreeView1, c.useParent, p), c.accepted);
        EXPECT_EQ(p.messages(), c.accepted ? std::vector<std::string>{} : std::vector<std::string>{kDuplicate});
    }
}

TEST_F(Names, DuplicateCheckErrorShownAndAccepted)
{
    doc.TreeView1.setSelectedItem(nullptr);
    EXPECT_TRUE(CheckDuplNames("item", "X", doc.TreeView1, false, prompts));
    EXPECT_EQ(prompts.messages(),
              std::vector<std::string>{" Error n. 91  Object variable or With block variable not set in CheckDuplNames"});
}

TEST_F(Names, MakeNodeKeyFromNodeOrParent)
{
    EXPECT_EQ(MakeNodeKey("N", doc.TreeView1.find("P.A"), false), "P.A.N");
    EXPECT_EQ(MakeNodeKey("N", doc.TreeView1.find("P.A.X"), true), "P.A.N");
    EXPECT_THROW(MakeNodeKey("N", nullptr, false), EditorError);
}

TEST_F(Names, RenameRekeysTwoLevelsBelow)
{
    DocNode* a = doc.TreeView1.find("P.A");
    auto branch = doc.gcolBranches.item("P.A");
    // What the branch dialog does on a new name.
    doc.gcolBranches.remove("P.A");
    branch->sName = "B2";
    branch->sKey = "P.B2";
    doc.gcolBranches.add(branch->sKey, branch);
    doc.TreeView1.setText(a, "B2");
    doc.TreeView1.setKey(a, "P.B2");
    UpdateSubTreeKeys(doc, a);

    for (const char* key : {"P.B2.X", "P.B2.S.Y", "P.B2.S.Deep.Z"}) {
        SCOPED_TRACE(key);
        ASSERT_NE(doc.TreeView1.find(key), nullptr);
        ASSERT_NE(doc.gcolItems.find(key), nullptr);
        EXPECT_EQ(doc.gcolItems.item(key)->sKey, key);
    }
    for (const char* key : {"P.B2.S", "P.B2.S.Deep"}) {
        ASSERT_NE(doc.gcolBranches.find(key), nullptr) << key;
        EXPECT_EQ(doc.gcolBranches.item(key)->sKey, key);
        EXPECT_NE(doc.TreeView1.find(key), nullptr);
    }
    for (const char* key : {"P.A.X", "P.A.S", "P.A.S.Y", "P.A.S.Deep.Z"}) {
        EXPECT_EQ(doc.TreeView1.find(key), nullptr) << key;
        EXPECT_EQ(doc.gcolItems.find(key), nullptr) << key;
        EXPECT_EQ(doc.gcolBranches.find(key), nullptr) << key;
    }
    EXPECT_EQ(doc.gcolItems.item("P.Valve")->sKey, "P.Valve");
}

TEST(NameChars, FirstForbiddenCharacterReported)
{
    struct Case {
        const char* name;
        const char* message; // nullptr: accepted
    } cases[] = {
        {"Good_Name-1", nullptr},
        {"", nullptr},
        {"a b", "Character ( ) not acceptable in string a b"},
        {"a.b", "Character (.) not acceptable in string a.b"},
        {"a,b", "Character (,) not acceptable in string a,b"},
        {"a:b", "Character (:) not acceptable in string a:b"},
        {"a;b", "Character (;) not acceptable in string a;b"},
        {"a\\b", "Character (\\) not acceptable in string a\\b"},
        {"a/b", "Character (/) not acceptable in string a/b"},
        {"a|b", "Character (|) not acceptable in string a|b"},
        {"x,y z", "Character ( ) not acceptable in string x,y z"},
        {"a|b.c", "Character (.) not acceptable in string a|b.c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPrompts p;
        EXPECT_EQ(CheckNameChars(c.name, p), c.message == nullptr);
        EXPECT_EQ(p.messages(), c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    }
}

TEST(NameChars, NumericKeyFilterKeepsNumberKeysOnly)
{
    for (int key : std::initializer_list<int>{'0', '5', '9', '-', '.', ' ', 8, 9, 10, 13})
        EXPECT_EQ(NumericKeyFilter(key), key) << key;
    for (int key : std::initializer_list<int>{'+', 'e', 'E', ',', 'a', 0x7F, 27})
        EXPECT_EQ(NumericKeyFilter(key), 0) << key;
}

TEST(NameChars, WritableChecks)
{
    struct Case {
        const char* name;
        bool fileChars;
        bool branch;
    } cases[] = {
        {"Motors", true, true},      {"_x-1.2", true, true},   {"\xC3\x84rger", true, true},
        {"9lives", true, false},     {"a b", true, false},     {"TAG", true, false},
        {"tag", true, false},        {"Tags", true, false},    {"", true, false},
        {"tAgS", true, false},       {"Tagsx", true, true},
        {"\xE2\x82\xAC", false, false}, {"a\tb", false, false}, {"x\xC2\x85", false, false},
        {"\xFF\xFE", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPrompts p;
        EXPECT_EQ(CheckFileChars(c.name, p), c.fileChars);
        EXPECT_EQ(CheckBranchName(c.name, p), c.branch);
        EXPECT_EQ(p.messages().size(), (c.fileChars ? 0u : 1u) + (c.branch ? 0u : 1u));
    }
}
