// The list's layout per kind of node, its rows, views and sorting.
#include "tests/editor-ui/window_test_support.h"

#include "editor/ui/editor_list.h"

#include <QTreeView>

namespace {

struct Column {
    const char* title;
    double fraction;
};

void expectColumns(const EditorList& list, std::initializer_list<Column> columns)
{
    ASSERT_EQ(list.columnCount(), static_cast<int>(columns.size()));
    int c = 0;
    for (const Column& column : columns) {
        EXPECT_EQ(list.columnTitle(c).toStdString(), column.title) << c;
        EXPECT_DOUBLE_EQ(list.columnFraction(c), column.fraction) << c;
        ++c;
    }
}

std::vector<std::string> rowKeys(const EditorList& list)
{
    std::vector<std::string> keys;
    for (int r = 0; r < list.rowCount(); ++r)
        keys.push_back(list.rowKey(r).toStdString());
    return keys;
}

std::vector<std::string> rowTexts(const EditorList& list, int row)
{
    std::vector<std::string> texts;
    for (int c = 0; c < list.columnCount(); ++c)
        texts.push_back(list.rowText(row, c).toStdString());
    return texts;
}

class ListLayoutTest : public WindowTest {
protected:
    EditorList& list() { return *window->ListView1(); }
};

TEST_F(ListLayoutTest, RootListsEveryPlcInCollectionOrder)
{
    newWithSample();
    addPlc("Another", 12);
    addPlc("Beta", 0);
    window->TreeView1_NodeClick(root());
    expectColumns(list(), {{"Plc Name", 0.5}, {"Address", 0.4}});
    EXPECT_EQ(rowKeys(list()), (std::vector<std::string>{"PLC1", "Another", "Beta"}));
    EXPECT_EQ(list().rowText(1, 1).toStdString(), "12");
    EXPECT_EQ(list().rowSmallPicture(0).toStdString(), "plc");
    EXPECT_EQ(list().rowLargePicture(0).toStdString(), "plc");
    EXPECT_EQ(list().view(), EditorList::View::Report);
}

TEST_F(ListLayoutTest, PlcShowsOnlyItself)
{
    newWithSample();
    addPlc("Other", 7);
    window->TreeView1_NodeClick(node("Other"));
    expectColumns(list(), {{"Plc Name", 0.5}, {"Address", 0.4}});
    ASSERT_EQ(list().rowCount(), 1);
    EXPECT_EQ(rowTexts(list(), 0), (std::vector<std::string>{"Other", "7"}));
}

TEST_F(ListLayoutTest, BranchListsItsDirectItemsInTreeOrderWithTheIndexColumn)
{
    newWithSample();
    addItem("PLC1.A.Z", "Deep");  // below a sub-branch: not listed
    window->TreeView1_NodeClick(node("PLC1.A"));
    expectColumns(list(), {{"Item Name", 0.2}, {"Comment", 0.3}, {"Datatype", 0.2}, {"Address", 0.3},
                           {"Access Rights", 0.2}, {"Index", 0.3}});
    EXPECT_EQ(rowKeys(list()), (std::vector<std::string>{"PLC1.A.T1", "PLC1.A.T2"}));
    EXPECT_EQ(rowTexts(list(), 0),
              (std::vector<std::string>{"T1", "first", "boolean", "0010/BIT04", "READWRITE", "DM001004"}));
    EXPECT_EQ(list().rowLargePicture(0).toStdString(), "boolean");
    EXPECT_EQ(list().rowSmallPicture(0).toStdString(), "item");
}

TEST_F(ListLayoutTest, ItemShowsItselfWithoutIndex)
{
    newWithSample();
    addItem("PLC1.A", "Arr", "signed 16 bit array", 12, 0, 10, "array");
    window->TreeView1_NodeClick(node("PLC1.A.Arr"));
    expectColumns(list(), {{"Item Name", 0.2}, {"Comment", 0.3}, {"Datatype", 0.2}, {"Address (Hex)", 0.3},
                           {"Access Rights", 0.2}});
    ASSERT_EQ(list().rowCount(), 1);
    EXPECT_EQ(rowTexts(list(), 0),
              (std::vector<std::string>{"Arr", "array", "signed 16 bit array", "0012/LEN10", "READWRITE"}));
    EXPECT_EQ(list().rowText(0, 5).toStdString(), "");
    EXPECT_EQ(list().rowLargePicture(0).toStdString(), "signed 16 bit");
}

TEST_F(ListLayoutTest, ColumnWidthsAreFractionsOfTheListWidth)
{
    newWithSample();
    window->show();
    window->resize(1000, 700);
    QCoreApplication::processEvents();
    window->TreeView1_NodeClick(node("PLC1.A"));
    const int width = list().reportView()->viewport()->width();
    ASSERT_GT(width, 100);
    EXPECT_NEAR(list().columnWidth(0), 0.2 * width, 1.0);
    EXPECT_NEAR(list().columnWidth(1), 0.3 * width, 1.0);
}

TEST_F(ListLayoutTest, ViewCommandsSwitchTheListAndANodeClickGoesBackToReport)
{
    newWithSample();
    window->TreeView1_NodeClick(node("PLC1.A"));
    list().setRowSelected(1, true);
    const std::pair<void (frmEditing::*)(), EditorList::View> views[] = {
        {&frmEditing::mnuIcon_Click, EditorList::View::Icon},
        {&frmEditing::mnuSmallIcon_Click, EditorList::View::SmallIcon},
        {&frmEditing::mnuList_Click, EditorList::View::List},
        {&frmEditing::mnuReport_Click, EditorList::View::Report},
    };
    for (const auto& [command, view] : views) {
        (window.get()->*command)();
        EXPECT_EQ(list().view(), view);
        EXPECT_EQ(list().rowCount(), 2);  // one model under every view
        EXPECT_EQ(list().selectedRows(), std::vector<int>{1});
    }
    window->mnuIcon_Click();
    window->TreeView1_NodeClick(node("PLC1.A"));
    EXPECT_EQ(list().view(), EditorList::View::Report);
}

TEST_F(ListLayoutTest, ColumnClickSortsAscendingAndStaysAscending)
{
    newWithSample();
    addItem("PLC1.A", "T3", "signed 16 bit", 5, 0, 0, "alpha");
    window->TreeView1_NodeClick(node("PLC1.A"));
    EXPECT_EQ(rowKeys(list()), (std::vector<std::string>{"PLC1.A.T1", "PLC1.A.T2", "PLC1.A.T3"}));
    const std::vector<std::string> byComment{"PLC1.A.T3", "PLC1.A.T1", "PLC1.A.T2"};  // alpha, first, second
    list().setCurrentRow(1);                                                            // T2
    list().setRowSelected(0, true);                                                     // T1
    window->ListView1_ColumnClick(1);
    EXPECT_EQ(rowKeys(list()), byComment);
    EXPECT_EQ(list().selectedRows(), (std::vector<int>{1, 2}));  // the selection follows the rows
    EXPECT_EQ(list().currentKey(), "PLC1.A.T2");
    window->ListView1_ColumnClick(1);
    EXPECT_EQ(rowKeys(list()), byComment);
    EXPECT_TRUE(list().sorted());
    // Refilled and added rows take their places in the order.
    addItem("PLC1.A", "T4", "signed 16 bit", 7, 0, 0, "beta");
    window->TreeView1_NodeClick(node("PLC1.A"));
    EXPECT_EQ(rowKeys(list()), (std::vector<std::string>{"PLC1.A.T3", "PLC1.A.T4", "PLC1.A.T1", "PLC1.A.T2"}));
    EXPECT_EQ(list().addRow("k", {"T5", "first"}, "item", "item"), 3);  // after the equal text
    window->ListView1_ColumnClick(3);  // address text: none, 0005, 0007, 0010/BIT04, 0020
    EXPECT_EQ(rowKeys(list()),
              (std::vector<std::string>{"k", "PLC1.A.T3", "PLC1.A.T4", "PLC1.A.T1", "PLC1.A.T2"}));
}

TEST_F(ListLayoutTest, NodeClickSortsTheNodesChildrenByText)
{
    newWithSample();
    window->TreeView1_NodeClick(node("PLC1.A"));
    std::vector<std::string> order;
    for (DocNode* child : node("PLC1.A")->children())
        order.push_back(child->text());
    EXPECT_EQ(order, (std::vector<std::string>{"T1", "T2", "Z"}));
    // The view shows the same order.
    QTreeView* tree = window->TreeView1();
    QModelIndex a = window->indexOfNode(node("PLC1.A"));
    EXPECT_EQ(tree->model()->index(0, 0, a).data().toString(), "T1");
    EXPECT_EQ(tree->model()->index(2, 0, a).data().toString(), "Z");
}

TEST_F(ListLayoutTest, MissingObjectIsReportedWithTheHandlersName)
{
    newWithSample();
    window->tree().add(root(), "Ghost", "Ghost", "plc", "plc", "plc");  // no object behind it
    window->TreeView1_NodeClick(node("Ghost"));
    ASSERT_EQ(prompts.messages().size(), 1u);
    const auto& record = prompts.records().back();
    EXPECT_EQ(record.caption, "Pelmora");
    EXPECT_EQ(record.text.rfind(" Error ", 0), 0u) << record.text;
    EXPECT_NE(record.text.find(" in TreeView1_NodeClick"), std::string::npos) << record.text;
    EXPECT_EQ(prompts.busyDepth(), 0);
}

TEST_F(ListLayoutTest, DoubleClickOnARowWithoutNodeDoesNothing)
{
    newWithSample();
    window->TreeView1_NodeClick(node("PLC1.A"));
    const int row = list().findRow("PLC1.A.T2");
    window->tree().remove(node("PLC1.A.T2"));
    list().setCurrentRow(row);
    window->ListView1_DblClick();
    EXPECT_TRUE(prompts.records().empty());
    EXPECT_EQ(window->selectedNode(), node("PLC1.A"));
}

}  // namespace
