// A main window with a small document for the Edit command and drag and drop tests.
#pragma once

#include "editor/model/editor_document.h"
#include "editor/model/scripted_prompts.h"
#include "editor/ui/editor_list.h"
#include "editor/ui/frm_editing.h"
#include "editor/ui/frm_replace.h"
#include "tests/editor-ui/qt_test_app.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>

#include <memory>
#include <string>
#include <vector>

class EditWindowTest : public QtWidgetTest {
protected:
    ScriptedPrompts prompts;
    std::unique_ptr<frmEditing> w;

    void SetUp() override;
    void TearDown() override;

    EditorDocument& doc() { return w->document(); }
    DocTree& tree() { return w->document().TreeView1; }
    DocNode* node(const std::string& key) { return tree().find(key); }

    void addPlc(const std::string& name);
    void addBranch(const std::string& parentKey, const std::string& name);
    std::shared_ptr<clsItem> addItem(const std::string& parentKey, const std::string& name,
                                     const std::string& comment = "");

    // Clicks the node (the list shows its layout) and gives the focus to the tree or the list.
    void clickInTree(const std::string& key);
    void clickInList(const std::string& branchKey, const std::vector<std::string>& selectedNames);
    std::vector<std::string> listNames();

    void setClipboard(const std::string& text) { QGuiApplication::clipboard()->setText(QString::fromStdString(text)); }
    std::string clipboard() { return QGuiApplication::clipboard()->text().toStdString(); }

    // frmReplace answers YES or NO, after its grid was recorded.
    void answerReplace(bool yes);
    std::vector<std::vector<std::string>> replaceGrid; // header row, then the rows
    std::vector<int> replaceWidths;
    std::string replaceCaption;
    int replaceShown = 0;

    // A drag of source (Ctrl held at its start when copy) dropped on target, as the tree's
    // viewport receives it.
    void dragAndDrop(const std::string& sourceKey, const std::string& targetKey, bool copy);
    void dragAndDropNode(DocNode* source, DocNode* target, bool copy);

    // Keys of the children of a node, in tree order.
    std::vector<std::string> childKeys(const std::string& key);
};
