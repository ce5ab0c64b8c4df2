// The menu bar, the toolbar and the commands of the View, Tools and help menus.
#include "editor/ui/frm_editing.h"

#include "editor/ui/editor_list.h"
#include "editor/ui/frm_about.h"
#include "editor/ui/pictures.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace {

struct MenuEntry {
    const char* name;
    const char* caption;  // "-" for a separator
    const char* shortcut;
};

struct MenuDef {
    const char* name;
    const char* caption;
    std::vector<MenuEntry> entries;
};

const std::vector<MenuDef>& menuDefs()
{
    static const std::vector<MenuDef> defs = {
        {"mnuFile", "&File",
         {{"mnuNewCfg", "&New Configuration", ""},
          {"mnuOpenCfg", "&Open Configuration", ""},
          {"mnunull1", "-", ""},
          {"mnuSaveCfg", "&Save Configuration", ""},
          {"mnuSaveAs", "Save Configuration &As", ""},
          {"mnunull3", "-", ""},
          {"mnuImportCsv", "Import Items from CSV...", ""},
          {"mnuExportCsv", "Export Items to CSV...", ""},
          {"mnunull2", "-", ""},
          {"mnuCloseCfg", "&Close Configuration", ""},
          {"mnuExit", "E&xit", ""}}},
        {"mnuObjects", "&Objects",
         {{"mnuAddPlc", "Add &Plc", "Ctrl+P"},
          {"mnuAddBranch", "Add &Branch", "Ctrl+B"},
          {"mnuAddItem", "Add &Item", "Ctrl+I"}}},
        {"mnuEdit", "&Edit",
         {{"mnuCopy", "&Copy", "Ctrl+C"},
          {"mnuCut", "Cu&t", "Ctrl+X"},
          {"mnuPaste", "&Paste", "Ctrl+V"},
          {"mnuDelete", "&Delete Object", "Del"},
          {"mnunull4", "-", ""},
          {"mnuPasteName", "Paste Item names from Clipboard", ""},
          {"mnuPasteComment", "Paste Item comments from Clipboard", ""}}},
        {"mnuView", "&View",
         {{"mnuIcon", "&Icon", ""},
          {"mnuSmallIcon", "&SmallIcon", ""},
          {"mnuList", "&List", ""},
          {"mnuReport", "&Report", ""}}},
        {"mnuTools", "&Tools", {{"mnuFind", "&Find", ""}}},
    };
    return defs;
}

struct ButtonDef {
    const char* key;
    const char* picture;
    const char* tooltip;  // nullptr: none
};

// In this order, with a gap between the groups.
const ButtonDef kButtons[] = {
    {"new", "new", "new config"},
    {"open", "open", "open config"},
    {"save", "save", "save config"},
    {"close", "close", "close config"},
    {"plc", "plc", "add Plc"},
    {"branch", "branch", "add Branch"},
    {"item", "item", "add Item"},
    {"copy", "copy", "copy"},
    {"cut", "cut", "cut"},
    {"paste", "paste", "paste"},
    {"delete", "delete", "delete"},
    {"icon", "icon", "view icon"},
    {"smallicon", "smallicon", "view smallicon"},
    {"list", "list", "view list"},
    {"report", "report", "view report"},
    {"find", "find", nullptr},
    {"pastitem", "pastename", "Replace Item Name"},
    {"pastcomment", "pastecomment", "Replace Item Comment"},
    {"exit", "exit", "exit"},
};

bool groupEndsAfter(const QString& key)
{
    return key == "close" || key == "item" || key == "delete" || key == "report" || key == "find" ||
           key == "pastcomment";
}

}  // namespace

void frmEditing::buildMenus()
{
    using Handler = void (frmEditing::*)();
    static const std::map<QString, Handler> handlers = {
        {"mnuNewCfg", &frmEditing::mnuNewCfg_Click},
        {"mnuOpenCfg", &frmEditing::mnuOpenCfg_Click},
        {"mnuSaveCfg", &frmEditing::mnuSaveCfg_Click},
        {"mnuSaveAs", &frmEditing::mnuSaveAs_Click},
        {"mnuImportCsv", &frmEditing::mnuImportCsv_Click},
        {"mnuExportCsv", &frmEditing::mnuExportCsv_Click},
        {"mnuCloseCfg", &frmEditing::mnuCloseCfg_Click},
        {"mnuExit", &frmEditing::mnuExit_Click},
        {"mnuAddPlc", &frmEditing::mnuAddPlc_Click},
        {"mnuAddBranch", &frmEditing::mnuAddBranch_Click},
        {"mnuAddItem", &frmEditing::mnuAddItem_Click},
        {"mnuCopy", &frmEditing::mnuCopy_Click},
        {"mnuCut", &frmEditing::mnuCut_Click},
        {"mnuPaste", &frmEditing::mnuPaste_Click},
        {"mnuDelete", &frmEditing::mnuDelete_Click},
        {"mnuPasteName", &frmEditing::mnuPasteName_Click},
        {"mnuPasteComment", &frmEditing::mnuPasteComment_Click},
        {"mnuIcon", &frmEditing::mnuIcon_Click},
        {"mnuSmallIcon", &frmEditing::mnuSmallIcon_Click},
        {"mnuList", &frmEditing::mnuList_Click},
        {"mnuReport", &frmEditing::mnuReport_Click},
        {"mnuFind", &frmEditing::mnuFind_Click},
        {"mnuAbout", &frmEditing::mnuAbout_Click},
    };

    QMenuBar* bar = menuBar();
    for (const MenuDef& def : menuDefs()) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(def.caption));
        menu->setObjectName(def.name);
        menu->menuAction()->setObjectName(def.name);
        mMenuActions[def.name] = menu->menuAction();
        for (const MenuEntry& entry : def.entries) {
            QAction* action = nullptr;
            if (QString(entry.caption) == "-") {
                action = menu->addSeparator();
            } else {
                action = menu->addAction(QString::fromUtf8(entry.caption));
                if (*entry.shortcut)
                    action->setShortcut(QKeySequence(QString::fromUtf8(entry.shortcut)));
                Handler handler = handlers.at(entry.name);
                connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
            }
            action->setObjectName(entry.name);
            mMenuActions[entry.name] = action;
        }
    }
    // "&About" stands on the menu bar itself.
    QAction* about = bar->addAction("&About");
    about->setObjectName("mnuAbout");
    mMenuActions["mnuAbout"] = about;
    connect(about, &QAction::triggered, this, [this] { mnuAbout_Click(); });
}

void frmEditing::buildToolbar()
{
    mToolbar = addToolBar("Toolbar1");
    mToolbar->setObjectName("Toolbar1");
    mToolbar->setMovable(false);
    mToolbar->setFloatable(false);
    mToolbar->setIconSize(QSize(24, 24));
    mToolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    mToolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    for (const ButtonDef& def : kButtons) {
        const QString key = def.key;
        QAction* button = mToolbar->addAction(pictures::toolbarPicture(def.picture), key);
        button->setObjectName(QStringLiteral("Toolbar1_") + key);
        button->setData(key);
        if (def.tooltip) {
            button->setToolTip(QString::fromUtf8(def.tooltip));
        } else if (QWidget* widget = mToolbar->widgetForAction(button)) {
            // Without a tooltip of its own Qt would show the button's text.
            widget->setProperty("noToolTip", true);
            widget->installEventFilter(this);
        }
        connect(button, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
        mButtons[key] = button;
        if (groupEndsAfter(key))
            mToolbar->addSeparator();
    }
}

void frmEditing::Toolbar1_ButtonClick(const QString& key)
{
    trap("Toolbar1_ButtonClick", [&] {
        if (key == "new")
            mnuNewCfg_Click();
        else if (key == "open")
            mnuOpenCfg_Click();
        else if (key == "save")
            mnuSaveCfg_Click();
        else if (key == "close")
            mnuCloseCfg_Click();
        else if (key == "plc")
            mnuAddPlc_Click();
        else if (key == "branch")
            mnuAddBranch_Click();
        else if (key == "item")
            mnuAddItem_Click();
        else if (key == "copy")
            mnuCopy_Click();
        else if (key == "cut")
            mnuCut_Click();
        else if (key == "paste")
            mnuPaste_Click();
        else if (key == "delete")
            mnuDelete_Click();
        else if (key == "icon")
            mnuIcon_Click();
        else if (key == "smallicon")
            mnuSmallIcon_Click();
        else if (key == "list")
            mnuList_Click();
        else if (key == "report")
            mnuReport_Click();
        else if (key == "find")
            mnuFind_Click();
        else if (key == "pastitem")
            mnuPasteName_Click();
        else if (key == "pastcomment")
            mnuPasteComment_Click();
        else if (key == "exit")
            mnuExit_Click();
    });
}

void frmEditing::mnuIcon_Click()
{
    trap("mnuIcon_Click", [&] { mList->setView(EditorList::View::Icon); });
}

void frmEditing::mnuSmallIcon_Click()
{
    trap("mnuSmallIcon_Click", [&] { mList->setView(EditorList::View::SmallIcon); });
}

void frmEditing::mnuList_Click()
{
    trap("mnuList_Click", [&] { mList->setView(EditorList::View::List); });
}

void frmEditing::mnuReport_Click()
{
    trap("mnuReport_Click", [&] { mList->setView(EditorList::View::Report); });
}

void frmEditing::mnuFind_Click()
{
    trap("mnuFind_Click", [&] { showFindWindow(); });
}

void frmEditing::mnuAbout_Click()
{
    trap("mnuAbout_Click", [&] {
        auto* about = new frmAbout(this);
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->show();
    });
}
