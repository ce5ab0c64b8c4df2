// A small open document for the dialog tests: the root node, PLCs, branches and items put
// into the tree and the collections the way the editor itself keeps them.
#pragma once

#include "editor/model/editor_document.h"
#include "editor/model/scripted_prompts.h"
#include "tests/editor-ui/qt_test_app.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class DialogTest : public QtWidgetTest {
protected:
    void SetUp() override
    {
        QtWidgetTest::SetUp();
        doc.createCollections();
        doc.resetClipboard();
        doc.gbCfgOpen = true;
        doc.gbCfgSaved = true;
        root = doc.TreeView1.add(nullptr, "", "/tmp/Vorlask.xml", "config", "config", "config");
        doc.TreeView1.setSelectedItem(root);
    }

    DocNode* addPlc(const std::string& name, const std::string& id = "0")
    {
        auto plc = std::make_shared<clsPLC>();
        plc->SetByForm(PlcFormFields{name, id, "COM2", "9600", "1", "8", "ODD"});
        doc.gcolPlcs.add(plc->sKey(), plc);
        return doc.TreeView1.add(root, name, name, "plc", "plc", "plc");
    }

    DocNode* addBranch(DocNode* parent, const std::string& name)
    {
        auto branch = std::make_shared<clsBranch>();
        branch->sName = name;
        branch->sKey = parent->key() + "." + name;
        doc.gcolBranches.add(branch->sKey, branch);
        return doc.TreeView1.add(parent, branch->sKey, name, "branch", "branch", "branch");
    }

    DocNode* addItem(DocNode* parent, const std::string& name, const std::string& type = "signed 16 bit",
                     int address = 0)
    {
        auto item = std::make_shared<clsItem>();
        item->sName = name;
        item->sKey = parent->key() + "." + name;
        item->sArea = "DM";
        item->sDataType = type;
        item->sAccessRight = "READ";
        item->nAddress = address;
        doc.gcolItems.add(item->sKey, item);
        return doc.TreeView1.add(parent, item->sKey, name, "item", "item", "item");
    }

    void select(DocNode* node) { doc.TreeView1.setSelectedItem(node); }

    EditorDocument doc;
    ScriptedPrompts prompts;
    DocNode* root = nullptr;
};

// Drives the next modal dialog once its event loop runs: hands it to driver, and closes it
// afterwards if the driver left it open, so a test can never hang on it.
inline void whenModal(std::function<void(QWidget*)> driver)
{
    QTimer::singleShot(0, [driver = std::move(driver)] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        driver(dialog);
        if (QApplication::activeModalWidget() == dialog)
            dialog->close();
    });
}
