// frmEditing: the editor's main window. The tree (TreeView1) shows the document's DocTree
// through ConfigTreeModel, the list (ListView1) the details of the selected node; the menu bar
// and the toolbar carry the commands, and EnMenuButt decides which of them are enabled.
//
// The handlers live in several files: frm_editing_file.cpp (the file commands),
// frm_editing_views.cpp (tree and list events, list layouts), frm_editing_enabling.cpp
// (EnMenuButt), frm_editing_menus.cpp (menus, toolbar, view and tools commands),
// frm_editing_add.cpp (add commands, properties dialogs and the find window),
// frm_editing_csv.cpp (items to and from CSV files) and
// frm_editing_clipboard.cpp (clipboard, paste-rename, delete and tree drag and drop).
#pragma once

#include "editor/model/editor_document.h"
#include "editor/model/prompts.h"

#include <QMainWindow>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class ConfigTreeModel;
class ConfigTreeView;
class EditorList;
class QAction;
class QMenu;
class QUndoStack;
struct DocSnapshot;
class QCloseEvent;
class QDrag;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QMimeData;
class QModelIndex;
class QMouseEvent;
class QProgressBar;
class QSplitter;
class QToolBar;
class QTreeView;
class QWidget;

class frmEditing : public QMainWindow {
    Q_OBJECT
public:
    // prompts must outlive the window.
    explicit frmEditing(Prompts& prompts, QWidget* parent = nullptr);
    ~frmEditing() override;

    // ---- the document and the controls ----
    EditorDocument& document() { return mDoc; }
    const EditorDocument& document() const { return mDoc; }
    DocTree& tree() { return mDoc.TreeView1; }
    Prompts& prompts() { return mPrompts; }

    QTreeView* TreeView1() const;
    EditorList* ListView1() const { return mList; }
    QToolBar* Toolbar1() const { return mToolbar; }
    QWidget* pnlImpStat() const { return mImpStat; }
    QLabel* lblLabel() const { return mLblLabel; }
    QProgressBar* pnlPercent() const { return mPercent; }
    QSplitter* splitter() const { return mSplitter; }

    // Menu entries by their names ("mnuFile", "mnuCopy" ...); nullptr for an unknown name.
    // Menu titles are the menus' own actions (QMenu::menuAction()).
    QAction* menuAction(const QString& name) const;
    // Toolbar buttons by key ("new" ... "exit"); nullptr for an unknown key.
    QAction* toolbarButton(const QString& key) const;

    // ---- selection and focus ----
    // The tree's selected node (nullptr for none). Selecting a node does not run the node click.
    DocNode* selectedNode() const { return mDoc.TreeView1.selectedItem(); }
    void selectNode(DocNode* node);
    // ---- desktop habits ----
    // The Edit and Objects commands at a point of the screen (tree and list).
    void showContextMenu(const QPoint& globalPos);
    // "FILE[*] - Pelmora" with the modified mark while a configuration is open.
    void updateCaption();
    // Geometry, splitter and the last files are kept in QSettings once this is on (the program
    // turns it on; tests leave it off).
    void setRememberSettings(bool remember);
    void rememberFile(const std::string& path);
    void saveWindowSettings();

    // ---- undo and redo ----
    // Runs a command that may change the document; a change becomes one undo step named text
    // ("Paste Names" shows as "Undo Paste Names").
    void recordChange(const QString& text, const std::function<void()>& change);
    // Puts the document back as it was in state (undo and redo steps).
    void restoreState(const std::shared_ptr<const DocSnapshot>& state);
    // New, Open and Close start without steps.
    void resetUndo();
    // After a successful write: this state is the saved one.
    void markSaved();
    QUndoStack* undoStack() const { return mUndoStack; }

    // Selects a node found by the find window, with the focus and the commands a click gives.
    void showFoundNode(DocNode* node);
    QModelIndex indexOfNode(const DocNode* node) const;
    DocNode* nodeOfIndex(const QModelIndex& index) const;
    // The node under a point of the tree's viewport, nullptr when none.
    DocNode* nodeAt(const QPoint& viewportPos) const;
    bool treeHasFocus() const;
    bool listHasFocus() const;
    void setTreeFocus();
    void setListFocus();
    // The node shown as drop target during a drag (nullptr clears it).
    void setDropHighlight(DocNode* node);
    DocNode* dropHighlight() const;

    // ---- operations other parts call ----
    // Which commands are enabled, each group by one flag (File open/new, file save/close, add
    // branch, add item, add PLC, copy, cut, paste, delete, view, tools, paste name, paste
    // comment); a flag not named is off.
    struct MenuState {
        bool fileO = false, fileS = false, abrO = false, aitO = false, aplO = false, cpyO = false, cutO = false,
             pstO = false, dltO = false, vewO = false, tolO = false, pNa = false, pCo = false;
        bool operator==(const MenuState&) const = default;
    };
    void EnMenuButt(const MenuState& state);
    // The node-selection handler; also the refresh after a change of the document.
    void TreeView1_NodeClick(DocNode* node);
    // Hides and empties the tree and the list, resets the internal clipboard.
    void InitObjects();
    // The open dialog of Open; false when cancelled, else fileName is the chosen path.
    bool ShowDialSave(std::string& fileName);
    // Runs body, trapping errors: shows the common message (" in " + where) with the program's
    // title as caption. False when an error was trapped.
    bool trap(std::string_view where, const std::function<void()>& body);

    // Removes every object below a branch node from the collections (tree nodes untouched).
    void RemoveBranch(DocNode* nodBranch);
    // Copies everything below nodSource under nodDest, registering the objects (drag and drop).
    void CopySubTree(DocTree& tvSource, DocNode* nodSource, DocTree& tvDest, DocNode* nodDest,
                     Qt::DropAction effect);

    // The find window is shown without blocking; unloadFindWindow closes it when it is loaded.
    void showFindWindow();
    void unloadFindWindow();

    // ---- tree drag and drop, called by TreeView1's events ----
    // Every mouse press on the tree; true when it was consumed (a right-button press on a node,
    // which may become a drag).
    bool TreeView1_MouseDown(QMouseEvent* event);
    // Mouse moves on the tree: once the pressed right button has moved the platform's drag
    // distance, the drag starts (a plain right-click drops nothing). True when consumed.
    bool TreeView1_MouseMove(QMouseEvent* event);
    // A right click without a drag shows the context menu at globalPos (none when null).
    void TreeView1_MouseUp(const QPoint& globalPos = {});
    // Fills the drag data and the allowed effect for a drag of mSourceNode.
    void TreeView1_OLEStartDrag(QMimeData& data, Qt::DropActions& allowedEffects);
    void TreeView1_OLEGiveFeedback(QDrag& drag);
    // Drag enter and drag move over the tree.
    void TreeView1_OLEDragOver(QDragMoveEvent* event);
    void TreeView1_OLEDragDrop(QDropEvent* event);

    // ---- fields ----
    std::string msConfigFileName;  // full path of the current configuration file
    DocNode* mSourceNode = nullptr;  // node under the pointer when a drag started
    std::int16_t mShiftState = 0;    // shift state then; bit value 2 = Ctrl
    std::optional<QPoint> mDragPress; // where the right button went down, until it moves or rises
    QWidget* mFindWindow = nullptr;  // the find window while it is loaded

    // The enabled state last given to EnMenuButt.
    MenuState menuState() const { return mMenuState; }

    // The default configuration file: the program's folder, "/" and "Vorlask.xml".
    std::string defaultConfigPath() const;
    // The program's folder (the executable's folder unless set, for tests).
    void setProgramFolder(const std::string& folder) { mProgramFolder = folder; }
    const std::string& programFolder() const { return mProgramFolder; }

    // True after a handler ended the run (Exit, or the window was allowed to close).
    bool unloaded() const { return mUnloaded; }

    // Runs Open on a path given on the command line, as if chosen in the open dialog.
    void openAtStart(const std::string& path);

public slots:
    // File
    void mnuNewCfg_Click();
    void mnuOpenCfg_Click();
    void mnuSaveCfg_Click();
    void mnuSaveAs_Click();
    void mnuImportCsv_Click();
    void mnuExportCsv_Click();
    void mnuCloseCfg_Click();
    void mnuExit_Click();
    // Objects
    void mnuAddPlc_Click();
    void mnuAddBranch_Click();
    void mnuAddItem_Click();
    // Edit
    void mnuCopy_Click();
    void mnuCut_Click();
    void mnuPaste_Click();
    void mnuDelete_Click();
    void mnuPasteName_Click();
    void mnuPasteComment_Click();
    // View
    void mnuIcon_Click();
    void mnuSmallIcon_Click();
    void mnuList_Click();
    void mnuReport_Click();
    // Tools and help
    void mnuFind_Click();
    void mnuAbout_Click();
    // Toolbar: dispatches by the button's key, exactly and case-sensitively.
    void Toolbar1_ButtonClick(const QString& key);
    // Tree and list
    void TreeView1_DblClick();
    void ListView1_Click();
    void ListView1_DblClick();
    void ListView1_ColumnClick(int column);

public:
    // Closing the window (frame, Exit): asks to save when needed. Sets cancel when the close
    // must not happen (a save the user asked for did not take place).
    void Form_Unload(bool& cancel);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildToolbar();
    void buildUndo();
    void buildHabits();
    void findNext();
    void rebuildRecentMenu();
    void placeControls();
    void connectViews();
    void syncTreeSelection(DocNode* node);
    // The question before New, Open, Close and Exit; false when the command must stop.
    bool askToSave(const std::string& question);
    void writeRegistryConfigFile(const std::string& path);
    bool writeConfiguration(const std::string& path);
    void enableForTag(const std::string& tag, bool fromList);
    void layoutRootList();
    void addPlcRow(const clsPLC& plc);
    void addItemRow(const clsItem& item, bool bIndex);
    // Shows the loading bar's value now and then, letting the window paint.
    void applyImportProgress(int percent);

    EditorDocument mDoc;
    Prompts& mPrompts;
    ConfigTreeModel* mTreeModel = nullptr;
    ConfigTreeView* mTree = nullptr;
    EditorList* mList = nullptr;
    QToolBar* mToolbar = nullptr;
    QUndoStack* mUndoStack = nullptr;
    QAction* mUndoAction = nullptr;
    QAction* mRedoAction = nullptr;
    std::shared_ptr<const DocSnapshot> mState; // the document as the undo stack last saw it
    bool mRecording = false;
    QMenu* mContextMenu = nullptr;
    QMenu* mRecentMenu = nullptr;
    bool mRememberSettings = false;
    QSplitter* mSplitter = nullptr;
    QWidget* mImpStat = nullptr;
    QLabel* mLblLabel = nullptr;
    QProgressBar* mPercent = nullptr;
    std::map<QString, QAction*> mMenuActions;
    std::map<QString, QAction*> mButtons;
    MenuState mMenuState{};
    std::string mProgramFolder;
    bool mLoading = false;
    bool mUnloaded = false;
    bool mSyncingSelection = false;
    bool mImporting = false;
    std::chrono::steady_clock::time_point mProgressShownAt{};
};
