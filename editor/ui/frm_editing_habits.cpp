// The habits of a desktop program on top of the editing window: standard shortcuts, context
// menus, the title with the file's name and its modified mark, and what the window remembers
// between runs (geometry, splitter, the last files).
#include "editor/ui/frm_editing.h"

#include "editor/ui/editor_list.h"
#include "editor/ui/frm_find.h"
#include "editor/ui/pelmora_app.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>

namespace {

constexpr int kRecentFiles = 8;

// Shortcuts of the desktop's own, added where the window had none.
const std::pair<const char*, const char*> kShortcuts[] = {
    {"mnuNewCfg", "Ctrl+N"}, {"mnuOpenCfg", "Ctrl+O"}, {"mnuSaveCfg", "Ctrl+S"},
    {"mnuSaveAs", "Ctrl+Shift+S"}, {"mnuFind", "Ctrl+F"},
};

} // namespace

void frmEditing::buildHabits()
{
    for (const auto& [name, keys] : kShortcuts)
        mMenuActions.at(name)->setShortcut(QKeySequence(QString::fromUtf8(keys)));

    // F3: the next match of the find window (opened when it is not).
    QMenu* tools = mMenuActions.at("mnuTools")->menu();
    QAction* next = tools->addAction("Find &Next");
    next->setObjectName("mnuFindNext");
    next->setShortcut(QKeySequence(Qt::Key_F3));
    mMenuActions["mnuFindNext"] = next;
    connect(next, &QAction::triggered, this, [this] { findNext(); });

    // The last files, above Exit.
    QMenu* file = mMenuActions.at("mnuFile")->menu();
    mRecentMenu = new QMenu("&Recent Files", file);
    mRecentMenu->menuAction()->setObjectName("mnuRecent");
    file->insertMenu(mMenuActions.at("mnuExit"), mRecentMenu);
    file->insertSeparator(mMenuActions.at("mnuExit"));
    mMenuActions["mnuRecent"] = mRecentMenu->menuAction();
    rebuildRecentMenu();

    connect(mList, &EditorList::contextMenuAt, this, [this](const QPoint& globalPos) { showContextMenu(globalPos); });
    connect(mList, &EditorList::keyboardSelection, this, &frmEditing::ListView1_Click);
    connect(mList, &EditorList::propertiesKey, this, &frmEditing::ListView1_DblClick);
    updateCaption();
}

void frmEditing::findNext()
{
    trap("mnuFindNext_Click", [&] {
        if (!mDoc.gbFindLoaded || !mFindWindow) {
            showFindWindow();
            return;
        }
        if (auto* find = qobject_cast<frmFind*>(mFindWindow))
            find->cmdNext_Click();
    });
}

void frmEditing::showContextMenu(const QPoint& globalPos)
{
    if (!mContextMenu) {
        mContextMenu = new QMenu(this);
        mContextMenu->setObjectName("contextMenu");
        for (const char* name : {"mnuAddPlc", "mnuAddBranch", "mnuAddItem", "-", "mnuUndo", "mnuRedo", "-", "mnuCut",
                                 "mnuCopy", "mnuPaste", "mnuDelete", "-", "mnuPasteName", "mnuPasteComment"}) {
            if (std::string_view(name) == "-")
                mContextMenu->addSeparator();
            else
                mContextMenu->addAction(mMenuActions.at(name));
        }
    }
    mContextMenu->popup(globalPos);
}

void frmEditing::updateCaption()
{
    if (!mDoc.gbCfgOpen) {
        setWindowTitle(QString::fromStdString(versionInfo().company + " - " + versionInfo().product));
        setWindowModified(false);
        return;
    }
    setWindowTitle(QFileInfo(QString::fromStdString(msConfigFileName)).fileName() + "[*] - Pelmora");
    setWindowModified(!mDoc.gbCfgSaved);
}

void frmEditing::rememberFile(const std::string& path)
{
    if (!mRememberSettings)
        return;
    QStringList files = QSettings().value("recentFiles").toStringList();
    const QString name = QString::fromStdString(path);
    files.removeAll(name);
    files.prepend(name);
    while (files.size() > kRecentFiles)
        files.removeLast();
    QSettings().setValue("recentFiles", files);
    rebuildRecentMenu();
}

void frmEditing::rebuildRecentMenu()
{
    mRecentMenu->clear();
    const QStringList files = mRememberSettings ? QSettings().value("recentFiles").toStringList() : QStringList();
    for (int i = 0; i < files.size(); ++i) {
        QAction* action = mRecentMenu->addAction(QString("&%1 %2").arg(i + 1).arg(files[i]));
        const std::string path = files[i].toStdString();
        connect(action, &QAction::triggered, this, [this, path] {
            trap("mnuRecent_Click", [&] {
                if (askToSave("Do you want to save active configuration?"))
                    openAtStart(path);
            });
        });
    }
    mRecentMenu->menuAction()->setEnabled(!files.isEmpty());
}

void frmEditing::setRememberSettings(bool remember)
{
    mRememberSettings = remember;
    if (remember) {
        QSettings settings;
        if (settings.contains("window/geometry"))
            restoreGeometry(settings.value("window/geometry").toByteArray());
        if (settings.contains("window/splitter"))
            mSplitter->restoreState(settings.value("window/splitter").toByteArray());
    }
    rebuildRecentMenu();
}

void frmEditing::saveWindowSettings()
{
    if (!mRememberSettings)
        return;
    QSettings settings;
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("window/splitter", mSplitter->saveState());
}
