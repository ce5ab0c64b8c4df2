#include "editor/ui/frm_editing.h"

#include "editor/ui/config_tree_model.h"
#include "editor/ui/config_tree_view.h"
#include "editor/ui/editor_list.h"
#include "editor/ui/error_message.h"
#include "editor/ui/pelmora_app.h"
#include "editor/ui/pictures.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include <filesystem>

frmEditing::frmEditing(Prompts& prompts, QWidget* parent) : QMainWindow(parent), mPrompts(prompts)
{
    setObjectName("frmEditing");
    mProgramFolder = QCoreApplication::applicationDirPath().toStdString();
    // Company name and product name of the version information, company first.
    setWindowTitle(QString::fromStdString(versionInfo().company + " - " + versionInfo().product));
    setWindowIcon(pictures::treePicture("main"));

    mLoading = true;
    buildControls();
    buildMenus();
    buildToolbar();
    buildUndo();
    buildHabits();
    placeControls();
    connectViews();

    mTree->hide();
    mList->hide();
    EnMenuButt({.fileO = true});
    mLoading = false;
}

frmEditing::~frmEditing()
{
    // The views go before the document they show.
    mTreeModel->disconnect(this);
    delete mTree;
    mTree = nullptr;
    mTreeModel->detach();
    delete mTreeModel;
    mTreeModel = nullptr;
}

void frmEditing::buildControls()
{
    auto* central = new QWidget;
    central->setObjectName("frmEditingClient");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);

    mTreeModel = new ConfigTreeModel(mDoc.TreeView1, this);
    mTree = new ConfigTreeView(this);
    mTree->setObjectName("TreeView1");
    mTree->setModel(mTreeModel);
    mTree->setIconSize(QSize(16, 16));

    mList = new EditorList;
    mList->setObjectName("ListView1");

    mSplitter = new QSplitter(Qt::Horizontal);
    mSplitter->setObjectName("splitter");
    mSplitter->addWidget(mTree);
    mSplitter->addWidget(mList);
    // Extra width is shared 2:3, which keeps the tree at 0.4 and the list at 0.6 of the width.
    mSplitter->setStretchFactor(0, 2);
    mSplitter->setStretchFactor(1, 3);
    mSplitter->setChildrenCollapsible(false);
    layout->addWidget(mSplitter);
    setCentralWidget(central);

    // The loading panel floats over the middle of the window while a file is imported.
    mImpStat = new QFrame(central);
    mImpStat->setObjectName("pnlImpStat");
    static_cast<QFrame*>(mImpStat)->setFrameShape(QFrame::StyledPanel);
    static_cast<QFrame*>(mImpStat)->setFrameShadow(QFrame::Raised);
    mImpStat->setAutoFillBackground(true);
    auto* panelLayout = new QVBoxLayout(mImpStat);
    mLblLabel = new QLabel("Loading File ....");
    mLblLabel->setObjectName("lblLabel");
    mPercent = new QProgressBar;
    mPercent->setObjectName("pnlPercent");
    mPercent->setRange(0, 100);
    mPercent->setValue(0);
    panelLayout->addWidget(mLblLabel);
    panelLayout->addWidget(mPercent);
    mImpStat->resize(360, 80);
    mImpStat->hide();
    central->installEventFilter(this);
}

void frmEditing::placeControls()
{
    // 0.8 of the screen, centred; tree 0.4 and list 0.6 of the client width.
    setWindowState(Qt::WindowNoState);
    QRect screen(0, 0, 1280, 1024);
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->geometry();
    const int width = static_cast<int>(screen.width() * 0.8);
    const int height = static_cast<int>(screen.height() * 0.8);
    resize(width, height);
    move(screen.x() + (screen.width() - width) / 2, screen.y() + (screen.height() - height) / 2);
    const int client = width - mSplitter->handleWidth();
    mSplitter->setSizes({static_cast<int>(client * 0.4), client - static_cast<int>(client * 0.4)});
}

void frmEditing::connectViews()
{
    // The document's selection is the tree's selection; the view follows it and reports the
    // user's choices back.
    connect(mTreeModel, &ConfigTreeModel::selectedNodeChanged, this, &frmEditing::syncTreeSelection);
    connect(mTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (mSyncingSelection)
                    return;
                DocNode* node = nodeOfIndex(current);
                if (node != mDoc.TreeView1.selectedItem())
                    mDoc.TreeView1.setSelectedItem(node);
            });
    connect(mTree, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        if (DocNode* node = nodeOfIndex(index))
            TreeView1_NodeClick(node);
    });
    connect(mTree, &ConfigTreeView::keyboardMoved, this, [this](const QModelIndex& index) {
        if (DocNode* node = nodeOfIndex(index))
            TreeView1_NodeClick(node);
    });
    connect(mTree, &QTreeView::doubleClicked, this, [this](const QModelIndex&) { TreeView1_DblClick(); });
    // The expanded flags of the document and the view's expansion follow each other.
    connect(mTreeModel, &ConfigTreeModel::nodeFlagsChanged, this, [this](DocNode* node) {
        QModelIndex index = indexOfNode(node);
        if (index.isValid() && mTree->isExpanded(index) != node->expanded())
            mTree->setExpanded(index, node->expanded());
    });
    connect(mTree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (DocNode* node = nodeOfIndex(index); node && !node->expanded())
            mDoc.TreeView1.setExpanded(node, true);
    });
    connect(mTree, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (DocNode* node = nodeOfIndex(index); node && node->expanded())
            mDoc.TreeView1.setExpanded(node, false);
    });
    connect(mTreeModel, &ConfigTreeModel::nodeAboutToGo, this, [this](DocNode* node) {
        if (!node || (mSourceNode && DocTree::isAncestorOrSelf(node, mSourceNode)))
            mSourceNode = nullptr;
    });
    // After a reset (the tree was cleared and refilled) the view's expansion is rebuilt.
    connect(mTreeModel, &QAbstractItemModel::modelReset, this, [this] {
        for (DocNode* node : mDoc.TreeView1.nodes())
            if (node->expanded())
                mTree->setExpanded(indexOfNode(node), true);
        syncTreeSelection(mDoc.TreeView1.selectedItem());
    });

    connect(mList, &EditorList::clicked, this, &frmEditing::ListView1_Click);
    connect(mList, &EditorList::doubleClicked, this, &frmEditing::ListView1_DblClick);
    connect(mList, &EditorList::columnClicked, this, &frmEditing::ListView1_ColumnClick);
}

void frmEditing::syncTreeSelection(DocNode* node)
{
    mSyncingSelection = true;
    QModelIndex index = indexOfNode(node);
    if (index.isValid()) {
        mTree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        mTree->scrollTo(index);
    } else {
        mTree->selectionModel()->clear();
    }
    mSyncingSelection = false;
}

QTreeView* frmEditing::TreeView1() const { return mTree; }

QAction* frmEditing::menuAction(const QString& name) const
{
    auto found = mMenuActions.find(name);
    return found == mMenuActions.end() ? nullptr : found->second;
}

QAction* frmEditing::toolbarButton(const QString& key) const
{
    auto found = mButtons.find(key);
    return found == mButtons.end() ? nullptr : found->second;
}


void frmEditing::selectNode(DocNode* node) { mDoc.TreeView1.setSelectedItem(node); }

void frmEditing::showFoundNode(DocNode* node)
{
    setTreeFocus();
    selectNode(node);
    // The commands must fit the new selection, or Add would work under an item.
    enableForTag(node->tag(), false);
}

QModelIndex frmEditing::indexOfNode(const DocNode* node) const { return mTreeModel->indexOf(node); }

DocNode* frmEditing::nodeOfIndex(const QModelIndex& index) const { return ConfigTreeModel::nodeOf(index); }

DocNode* frmEditing::nodeAt(const QPoint& viewportPos) const { return nodeOfIndex(mTree->indexAt(viewportPos)); }

bool frmEditing::treeHasFocus() const { return mTree->hasFocus(); }

bool frmEditing::listHasFocus() const { return mList->hasListFocus(); }

void frmEditing::setTreeFocus() { mTree->setFocus(Qt::OtherFocusReason); }

void frmEditing::setListFocus() { mList->setListFocus(); }

void frmEditing::setDropHighlight(DocNode* node) { mTreeModel->setDropHighlight(node); }

DocNode* frmEditing::dropHighlight() const { return mTreeModel->dropHighlight(); }

bool frmEditing::trap(std::string_view where, const std::function<void()>& body)
{
    return trapErrors(mPrompts, where, body);
}

std::string frmEditing::defaultConfigPath() const
{
    return (std::filesystem::path(mProgramFolder) / "Vorlask.xml").string();
}

void frmEditing::applyImportProgress(int percent)
{
    // Keep the window painted while a long file loads (the commands are all disabled meanwhile),
    // a few times a second: painting the bar for every item would cost more than the reading.
    const auto now = std::chrono::steady_clock::now();
    if (now - mProgressShownAt < std::chrono::milliseconds(50))
        return;
    mProgressShownAt = now;
    mPercent->setValue(percent);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool frmEditing::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        QWidget* client = centralWidget();
        mImpStat->move((client->width() - mImpStat->width()) / 2, (client->height() - mImpStat->height()) / 2);
    } else if (event->type() == QEvent::ToolTip && watched->property("noToolTip").toBool()) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmEditing::closeEvent(QCloseEvent* event)
{
    // A window half way through an import can't let its document go.
    if (mImporting) {
        event->ignore();
        return;
    }
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    saveWindowSettings();
    event->accept();
}
