// Which commands are enabled: EnMenuButt sets menus and toolbar buttons from thirteen flags.
#include "editor/ui/frm_editing.h"

#include <QAction>

void frmEditing::EnMenuButt(bool fileO, bool fileS, bool abrO, bool aitO, bool aplO, bool cpyO, bool cutO,
                            bool pstO, bool dltO, bool vewO, bool tolO, bool pNa, bool pCo)
{
    trap("EnMenuButt", [&] {
        mMenuState = MenuState{fileO, fileS, abrO, aitO, aplO, cpyO, cutO, pstO, dltO, vewO, tolO, pNa, pCo};
        const std::pair<const char*, bool> menus[] = {
            {"mnuFile", fileO},
            {"mnuNewCfg", fileO},
            {"mnuOpenCfg", fileO},
            {"mnuSaveCfg", fileS},
            {"mnuSaveAs", fileS},
            {"mnuImportCsv", fileS},
            {"mnuExportCsv", fileS},
            {"mnuCloseCfg", fileS},
            // The Objects title also follows Delete, which stands under Edit.
            {"mnuObjects", abrO || aitO || aplO || dltO},
            {"mnuAddPlc", aplO},
            {"mnuAddBranch", abrO},
            {"mnuAddItem", aitO},
            {"mnuEdit", cpyO || cutO || pstO},
            {"mnuCopy", cpyO},
            {"mnuCut", cutO},
            {"mnuPaste", pstO},
            {"mnuDelete", dltO},
            {"mnuPasteName", pNa},
            {"mnuPasteComment", pCo},
            {"mnuView", vewO},
            {"mnuIcon", vewO},
            {"mnuSmallIcon", vewO},
            {"mnuList", vewO},
            {"mnuReport", vewO},
            {"mnuTools", tolO},
            {"mnuFind", tolO},
        };
        for (const auto& [name, enabled] : menus)
            if (QAction* action = menuAction(name))
                action->setEnabled(enabled);

        const std::pair<const char*, bool> buttons[] = {
            {"new", fileO},    {"open", fileO},       {"save", fileS},      {"close", fileS},
            {"plc", aplO},     {"branch", abrO},      {"item", aitO},       {"copy", cpyO},
            {"cut", cutO},     {"paste", pstO},       {"delete", dltO},     {"icon", vewO},
            {"smallicon", vewO}, {"list", vewO},      {"report", vewO},     {"find", tolO},
            {"pastitem", pNa}, {"pastcomment", pCo},
        };
        for (const auto& [key, enabled] : buttons)
            if (QAction* button = toolbarButton(key))
                button->setEnabled(enabled);
    });
}

// The rows of the enabling table that follow the kind of the clicked node or list row.
void frmEditing::enableForTag(const std::string& tag, bool fromList)
{
    if (tag == "config" && !fromList)
        EnMenuButt(true, true, false, false, true, false, false, true, false, true, true, false, false);
    else if (tag == "plc")
        EnMenuButt(true, true, true, true, false, false, false, true, false, true, true, false, false);
    else if (tag == "branch")
        EnMenuButt(true, true, true, true, false, false, false, true, true, true, true, false, false);
    else if (tag == "item")
        EnMenuButt(true, true, false, false, false, true, true, false, true, true, true, true, true);
}
