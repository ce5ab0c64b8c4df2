// Which commands are enabled: EnMenuButt sets menus and toolbar buttons from thirteen named flags.
#include "editor/ui/frm_editing.h"

#include <QAction>

void frmEditing::EnMenuButt(const MenuState& state)
{
    trap("EnMenuButt", [&] {
        mMenuState = state;
        const auto [fileO, fileS, abrO, aitO, aplO, cpyO, cutO, pstO, dltO, vewO, tolO, pNa, pCo] = state;
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
        EnMenuButt({.fileO = true, .fileS = true, .aplO = true, .pstO = true, .vewO = true, .tolO = true});
    else if (tag == "plc")
        EnMenuButt({.fileO = true, .fileS = true, .abrO = true, .aitO = true, .pstO = true, .vewO = true, .tolO = true});
    else if (tag == "branch")
        EnMenuButt({.fileO = true, .fileS = true, .abrO = true, .aitO = true, .pstO = true, .dltO = true, .vewO = true, .tolO = true});
    else if (tag == "item")
        EnMenuButt({.fileO = true, .fileS = true, .cpyO = true, .cutO = true, .dltO = true, .vewO = true, .tolO = true, .pNa = true, .pCo = true});
}
