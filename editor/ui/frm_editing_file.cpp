// The File commands: New, Open, Save, Save As, Close, Exit and closing the window, with the
// questions that protect unsaved work and the registry value the server reads.
#include "editor/ui/frm_editing.h"

#include "common/registry.h"
#include "editor/model/editor_error.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"
#include "editor/ui/config_tree_view.h"
#include "editor/ui/editor_list.h"
#include "editor/ui/error_message.h"

#include <QProgressBar>
#include <QTreeView>

#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kRegistryKey = "Software\\MOLVAutomation\\Vorlask";
constexpr const char* kRegistryValue = "ConfigFile";
constexpr const char* kFilter = "configuration files |*.xml";

// Hides the loading panel however the import ends.
struct PanelGuard {
    QWidget* panel;
    bool& importing;
    ~PanelGuard()
    {
        panel->hide();
        importing = false;
    }
};

}  // namespace

bool frmEditing::askToSave(const std::string& question)
{
    if (!mDoc.gbCfgOpen || mDoc.gbCfgSaved)
        return true;
    if (mPrompts.question(question, PromptButtons::YesNo, PromptIcon::Question, programTitle()) == PromptAnswer::Yes) {
        mnuSaveCfg_Click();
        if (!mDoc.gbCfgSaved)
            return false;
    }
    return true;
}

void frmEditing::mnuNewCfg_Click()
{
    trap("mnuNewCfg_Click", [&] {
        if (!askToSave("Do you want to save active configuration?"))
            return;
        mDoc.gbCfgOpen = false;
        InitObjects();
        msConfigFileName = defaultConfigPath();
        mDoc.gbCfgOpen = true;
        mDoc.gbCfgSaved = false;
        DocNode* root = mDoc.TreeView1.add(nullptr, "", msConfigFileName, "config", "config", "config");
        mDoc.TreeView1.ensureVisible(root);
        selectNode(root);
        mTree->show();
        mList->show();
        mList->setSorted(false);
        EnMenuButt({.fileO = true, .fileS = true, .aplO = true, .tolO = true});
        mDoc.createCollections();
        mDoc.gnPlcCount = 0;
        mDoc.gnBranchCount = 0;
        mDoc.gnItemCount = 0;
        resetUndo();
    });
}

bool frmEditing::ShowDialSave(std::string& fileName)
{
    try {
        FileDialogRequest request;
        request.title = "Open as existing configuration";
        request.filter = kFilter;
        request.mustExist = true;
        std::optional<std::string> chosen = mPrompts.openFile(request);
        if (!chosen)
            return false;
        fileName = *chosen;
        return true;
    } catch (const EditorError& error) {
        if (error.number != editor_err::kDialogCancel)
            mPrompts.message("ShowDialSave Error n. " + std::to_string(error.number) + "\r\n" + error.description,
                             PromptIcon::None, programTitle());
    } catch (const std::exception& error) {
        mPrompts.message("ShowDialSave Error n. " + std::to_string(editor_err::kInvalidCall) + "\r\n" + error.what(),
                         PromptIcon::None, programTitle());
    }
    return false;
}

void frmEditing::mnuOpenCfg_Click()
{
    trap("mnuOpenCfg_Click", [&] {
        if (!askToSave("Do you want to save active configuration?"))
            return;
        std::string chosen;
        if (!ShowDialSave(chosen) || chosen.empty())
            return;
        openAtStart(chosen);
    });
}

// Open's work after the file was chosen; also the start with a file on the command line.
void frmEditing::openAtStart(const std::string& path)
{
    trap("mnuOpenCfg_Click", [&] {
        std::error_code ec;
        std::filesystem::path full = std::filesystem::absolute(path, ec);
        const std::string chosen = ec ? path : full.lexically_normal().string();
        const MenuState before = mMenuState;
        mPercent->setValue(0);
        mImpStat->raise();
        mImpStat->show();
        mImporting = true;
        PanelGuard guard{mImpStat, mImporting};
        EnMenuButt({});
        int lastPercent = 0;
        const bool ok = openConfigurationFile(mDoc, chosen, mPrompts, [&](int percent) {
            lastPercent = percent;
            applyImportProgress(percent);
        });
        mPercent->setValue(lastPercent);
        if (ok) {
            msConfigFileName = chosen;
            resetUndo();
            rememberFile(chosen);
            mList->clear();
            mTree->show();
            mList->show();
            mList->setSorted(false);
            layoutRootList();
            EnMenuButt({.fileO = true, .fileS = true, .aplO = true, .tolO = true});
        } else if (mDoc.gbCfgOpen) {
            // The document open before stays as it was, and so do its commands.
            EnMenuButt(before);
        } else {
            EnMenuButt({.fileO = true});
        }
    });
}

void frmEditing::writeRegistryConfigFile(const std::string& path)
{
    // The server finds its configuration here. The file is saved either way; a value that
    // could not be recorded (the registry belongs to the group vorlask on an installed system)
    // is told, since the server would go on loading another file.
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    const std::string value = ec ? path : full.lexically_normal().string();
    std::string why;
    if (!Registry::fromEnvironment().writeString(kRegistryKey, kRegistryValue, value, &why))
        mPrompts.message(value + " was saved, but the server will not load it: the registry value " +
                             kRegistryValue + " could not be set (" + why +
                             "). Members of the group vorlask may set it; ask an administrator.",
                         PromptIcon::Warning, programTitle());
}

bool frmEditing::writeConfiguration(const std::string& path)
{
    // A file that was not written completely is not a save: the document stays modified.
    if (!CreateXML(mDoc, path, mPrompts))
        return false;
    markSaved();
    rememberFile(path);
    writeRegistryConfigFile(path);
    return true;
}

void frmEditing::mnuSaveCfg_Click()
{
    trap("mnuSaveCfg_Click", [&] {
        if (!mDoc.gbCfgOpen)
            return;
        PromptAnswer answer = PromptAnswer::Yes;
        std::error_code ec;
        if (std::filesystem::exists(msConfigFileName, ec))
            answer = mPrompts.question("File " + msConfigFileName + " already existing. Overwrite?",
                                       PromptButtons::YesNoCancel, PromptIcon::Question, programTitle());
        if (answer == PromptAnswer::Yes) {
            if (writeConfiguration(msConfigFileName)) {
                mDoc.gbCfgSaved = true;
                mPrompts.message(msConfigFileName + " saved", PromptIcon::None, programTitle());
            }
        } else if (answer == PromptAnswer::No) {
            mnuSaveAs_Click();
        }
    });
}

void frmEditing::mnuSaveAs_Click()
{
    trapErrors(
        mPrompts, "mnuSaveAs_Click",
        [&] {
            if (!mDoc.gbCfgOpen)
                return;
            FileDialogRequest request;
            request.title = "Save configuration";
            request.filter = kFilter;
            request.defaultName = "Vorlask.xml";
            std::optional<std::string> chosen = mPrompts.saveFile(request);
            if (!chosen || chosen->empty())
                return;
            if (DocNode* root = mDoc.TreeView1.root())
                mDoc.TreeView1.setText(root, *chosen);
            msConfigFileName = *chosen;
            if (writeConfiguration(*chosen))
                mDoc.gbCfgSaved = true;
        },
        {editor_err::kDialogCancel});
}

void frmEditing::mnuCloseCfg_Click()
{
    trap("mnuCloseCfg_Click", [&] {
        if (!askToSave("Do you want to save this configuration?"))
            return;
        mDoc.gbCfgOpen = false;
        InitObjects();
        EnMenuButt({.fileO = true});
        mDoc.dropCollections();
    });
}

void frmEditing::mnuExit_Click()
{
    bool leave = false;
    trap("mnuExit_Click", [&] {
        if (mDoc.gbCfgOpen && !mDoc.gbCfgSaved) {
            if (mPrompts.question("Do you want to save active configuration?", PromptButtons::YesNo,
                                  PromptIcon::Question, programTitle()) == PromptAnswer::Yes) {
                mnuSaveCfg_Click();
                // The user asked to keep the work: a save that did not happen keeps the window.
                if (!mDoc.gbCfgSaved)
                    return;
            }
        }
        mDoc.gbCfgOpen = false;
        leave = true;
    });
    if (leave)
        close();
}

void frmEditing::Form_Unload(bool& cancel)
{
    trap("Form_Unload", [&] {
        if (mDoc.gbCfgOpen && !mDoc.gbCfgSaved) {
            if (mPrompts.question("Do you want to save active configuration?", PromptButtons::YesNo,
                                  PromptIcon::Question, programTitle()) == PromptAnswer::Yes) {
                mnuSaveCfg_Click();
                if (!mDoc.gbCfgSaved) {
                    cancel = true;
                    return;
                }
            }
        }
        mDoc.dropCollections();
        if (mDoc.gbFindLoaded)
            unloadFindWindow();
    });
    if (!cancel)
        mUnloaded = true;
}
