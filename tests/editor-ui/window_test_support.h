// A main window on scripted prompts, in a temporary program folder with its own registry root.
#pragma once

#include "editor/model/scripted_prompts.h"
#include "editor/ui/frm_editing.h"
#include "tests/editor-ui/qt_test_app.h"

#include <filesystem>
#include <memory>
#include <string>

// The repository and build/bin (VORLASK_SOURCE and VORLASK_BIN, else the configured folders).
std::string sourceFolder();
std::string programFolder();

class WindowTest : public QtWidgetTest {
protected:
    void SetUp() override;
    void TearDown() override;

    static std::string fixture(const std::string& name);

    // Open through the open dialog, the path answered by the script.
    void openFile(const std::string& path);
    // New, then a small document built through the model: PLC1 with branch A (items T1, T2 and
    // sub-branch Z) and item X directly under PLC1.
    void newWithSample();

    clsPLC& addPlc(const std::string& name, int id);
    clsBranch& addBranch(const std::string& parentKey, const std::string& name);
    clsItem& addItem(const std::string& parentKey, const std::string& name,
                     const std::string& dataType = "signed 16 bit", int address = 100, int bit = 0,
                     int elements = 0, const std::string& comment = "");

    DocNode* node(const std::string& key) { return window->tree().find(key); }
    DocNode* root() { return window->tree().root(); }
    EditorDocument& doc() { return window->document(); }
    bool menuEnabled(const char* name) { return window->menuAction(name)->isEnabled(); }
    bool buttonEnabled(const char* key) { return window->toolbarButton(key)->isEnabled(); }

    std::filesystem::path dir;
    std::filesystem::path registryRoot;
    ScriptedPrompts prompts;
    std::unique_ptr<frmEditing> window;
};
