#include "tests/editor-ui/clipboard_test_support.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QPushButton>

void EditWindowTest::SetUp()
{
    QtWidgetTest::SetUp();
    w = std::make_unique<frmEditing>(prompts);
    w->setProgramFolder("/tmp");
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->activateWindow();
    (void)QTest::qWaitForWindowActive(w.get());
    w->mnuNewCfg_Click();
    prompts.clear();
}

void EditWindowTest::TearDown()
{
    frmReplace::shownHook() = nullptr;
    doc().gbCfgSaved = true; // no save question while the window goes
    w.reset();
}

void EditWindowTest::addPlc(const std::string& name)
{
    auto plc = std::make_shared<clsPLC>();
    plc->SetByForm(PlcFormFields{name, "1", "COM1", "9600", "2", "7", "EVEN"});
    doc().gcolPlcs.add(plc->sKey(), plc);
    tree().add(tree().root(), name, name, "plc", "plc", "plc");
}

void EditWindowTest::addBranch(const std::string& parentKey, const std::string& name)
{
    auto b = std::make_shared<clsBranch>();
    b->sName = name;
    b->sKey = parentKey + "." + name;
    doc().gcolBranches.add(b->sKey, b);
    DocNode* n = tree().addChild(parentKey, b->sKey, name, "branch", "branch", "branch");
    tree().ensureVisible(n);
}

std::shared_ptr<clsItem> EditWindowTest::addItem(const std::string& parentKey, const std::string& name,
                                                 const std::string& comment)
{
    auto it = std::make_shared<clsItem>();
    it->sName = name;
    it->sComment = comment.empty() ? "comment of " + name : comment;
    it->sDataType = "signed 16 bit";
    it->sArea = "DM";
    it->nAddress = 10;
    it->sAccessRight = "READ";
    it->sKey = parentKey + "." + name;
    doc().gcolItems.add(it->sKey, it);
    DocNode* n = tree().addChild(parentKey, it->sKey, name, "item", "item", "item");
    tree().ensureVisible(n);
    return it;
}

void EditWindowTest::clickInTree(const std::string& key)
{
    w->TreeView1_NodeClick(node(key));
    w->setTreeFocus();
    QCoreApplication::processEvents();
}

void EditWindowTest::clickInList(const std::string& branchKey, const std::vector<std::string>& selectedNames)
{
    w->TreeView1_NodeClick(node(branchKey));
    EditorList* list = w->ListView1();
    list->clearSelection();
    for (const auto& name : selectedNames) {
        int row = list->findRow(QString::fromStdString(branchKey + "." + name));
        ASSERT_GE(row, 0) << name;
        list->setRowSelected(row, true);
    }
    w->setListFocus();
    QCoreApplication::processEvents();
}

std::vector<std::string> EditWindowTest::listNames()
{
    std::vector<std::string> out;
    for (int r = 0; r < w->ListView1()->rowCount(); ++r)
        out.push_back(w->ListView1()->rowText(r).toStdString());
    return out;
}

void EditWindowTest::answerReplace(bool yes)
{
    frmReplace::shownHook() = [this, yes](frmReplace& dialog) {
        ++replaceShown;
        replaceCaption = dialog.windowTitle().toStdString();
        replaceGrid.clear();
        replaceWidths.clear();
        QTableWidget* grid = dialog.Grid1();
        std::vector<std::string> header;
        for (int c = 0; c < grid->columnCount(); ++c) {
            header.push_back(grid->horizontalHeaderItem(c)->text().toStdString());
            replaceWidths.push_back(grid->columnWidth(c));
        }
        replaceGrid.push_back(header);
        for (int r = 0; r < grid->rowCount(); ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < grid->columnCount(); ++c)
                row.push_back(grid->item(r, c)->text().toStdString());
            replaceGrid.push_back(row);
        }
        (yes ? dialog.Command2() : dialog.Command1())->click();
    };
}

void EditWindowTest::dragAndDrop(const std::string& sourceKey, const std::string& targetKey, bool copy)
{
    DocNode* target = targetKey == "<root>" ? tree().root() : node(targetKey);
    DocNode* source = sourceKey == "<root>" ? tree().root() : node(sourceKey);
    ASSERT_NE(source, nullptr) << sourceKey;
    ASSERT_NE(target, nullptr) << targetKey;
    dragAndDropNode(source, target, copy);
}

void EditWindowTest::dragAndDropNode(DocNode* source, DocNode* target, bool copy)
{
    // What the right-button press does before QDrag::exec takes over.
    w->mSourceNode = source;
    w->mShiftState = copy ? 2 : 0;
    QMimeData mime;
    Qt::DropActions allowed;
    w->TreeView1_OLEStartDrag(mime, allowed);
    QTreeView* view = w->TreeView1();
    view->expandAll();
    QCoreApplication::processEvents();
    QModelIndex index = w->indexOfNode(target);
    ASSERT_TRUE(index.isValid());
    view->scrollTo(index);
    QPointF pos = view->visualRect(index).center();
    QWidget* viewport = view->viewport();
    Qt::KeyboardModifiers mods = copy ? Qt::ControlModifier : Qt::NoModifier;
    QDragEnterEvent enter(pos.toPoint(), allowed, &mime, Qt::RightButton, mods);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(pos.toPoint(), allowed, &mime, Qt::RightButton, mods);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(pos, allowed, &mime, Qt::RightButton, mods);
    QApplication::sendEvent(viewport, &drop);
}

std::vector<std::string> EditWindowTest::childKeys(const std::string& key)
{
    std::vector<std::string> out;
    if (DocNode* n = node(key))
        for (DocNode* c : n->children())
            out.push_back(c->key());
    return out;
}
