// The Edit commands (copy, cut, paste, delete, paste names and comments) and the tree's drag
// and drop. The rules live in EditCommands; this file gives them the window's list, focus,
// refresh, the system clipboard and frmReplace.
#include "editor/ui/frm_editing.h"

#include "editor/model/edit_commands.h"
#include "editor/ui/config_tree_model.h"
#include "editor/ui/editor_list.h"
#include "editor/ui/frm_replace.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTreeView>

namespace {

// The drag data: the source node's key. A private format, so that text dragged in from other
// programs is not taken for a node.
const QString kNodeKeyFormat = QStringLiteral("application/x-pelmora-node-key");

class WindowEditSurface : public EditSurface {
public:
    explicit WindowEditSurface(frmEditing& window) : mWindow(window) {}

    bool listHasFocus() const override { return mWindow.listHasFocus(); }
    bool treeHasFocus() const override { return mWindow.treeHasFocus(); }
    int rowCount() const override { return mWindow.ListView1()->rowCount(); }
    std::string rowKey(int row) const override { return mWindow.ListView1()->rowKey(row).toStdString(); }
    std::string rowText(int row) const override { return mWindow.ListView1()->rowText(row).toStdString(); }
    bool isRowSelected(int row) const override { return mWindow.ListView1()->isRowSelected(row); }
    int findRow(const std::string& key) const override
    {
        return mWindow.ListView1()->findRow(QString::fromStdString(key));
    }
    void setRowKeyAndText(int row, const std::string& key, const std::string& text) override
    {
        mWindow.ListView1()->setRowKey(row, QString::fromStdString(key));
        mWindow.ListView1()->setRowText(row, 0, QString::fromStdString(text));
    }
    void setRowComment(int row, const std::string& comment) override
    {
        mWindow.ListView1()->setRowText(row, 1, QString::fromStdString(comment));
    }
    void nodeClick(DocNode* node) override { mWindow.TreeView1_NodeClick(node); }
    void showReplace(const ReplaceTable& table) override
    {
        frmReplace dialog(mWindow.document(), table, &mWindow);
        dialog.run();
    }
    std::string clipboardText() override { return QGuiApplication::clipboard()->text().toStdString(); }
    void clearClipboard() override { QGuiApplication::clipboard()->clear(); }

private:
    frmEditing& mWindow;
};

template <class F>
void withCommands(frmEditing& window, F f)
{
    WindowEditSurface surface(window);
    EditCommands commands(window.document(), window.prompts(), surface);
    f(commands);
}

// The pointer while dragging: a small square inside a square.
QPixmap dragPointer()
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(1, 1, 17, 17);
    painter.drawRect(6, 6, 7, 7);
    return pixmap;
}

} // namespace

void frmEditing::mnuCopy_Click()
{
    withCommands(*this, [](EditCommands& c) { c.mnuCopy_Click(); });
}

void frmEditing::mnuCut_Click()
{
    recordChange("Cut", [this] { withCommands(*this, [](EditCommands& c) { c.mnuCut_Click(); }); });
}

void frmEditing::mnuPaste_Click()
{
    recordChange("Paste", [this] { withCommands(*this, [](EditCommands& c) { c.mnuPaste_Click(); }); });
}

void frmEditing::mnuDelete_Click()
{
    recordChange("Delete", [this] { withCommands(*this, [](EditCommands& c) { c.mnuDelete_Click(); }); });
}

void frmEditing::mnuPasteName_Click()
{
    recordChange("Paste Names", [this] { withCommands(*this, [](EditCommands& c) { c.mnuPasteName_Click(); }); });
}

void frmEditing::mnuPasteComment_Click()
{
    recordChange("Paste Comments", [this] { withCommands(*this, [](EditCommands& c) { c.mnuPasteComment_Click(); }); });
}

void frmEditing::RemoveBranch(DocNode* nodBranch)
{
    withCommands(*this, [nodBranch](EditCommands& c) { c.RemoveBranch(nodBranch); });
}

void frmEditing::CopySubTree(DocTree&, DocNode* nodSource, DocTree&, DocNode* nodDest, Qt::DropAction effect)
{
    // Both trees are always TreeView1.
    withCommands(*this, [&](EditCommands& c) { c.CopySubTree(nodSource, nodDest, effect == Qt::CopyAction); });
}

bool frmEditing::TreeView1_MouseDown(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton)
        return false;
    mSourceNode = nodeAt(event->position().toPoint());
    if (!mSourceNode)
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers();
    mShiftState = static_cast<std::int16_t>((mods & Qt::ShiftModifier ? 1 : 0) | (mods & Qt::ControlModifier ? 2 : 0) |
                                            (mods & Qt::AltModifier ? 4 : 0));
    mDragPress = event->position().toPoint();
    return true;
}

void frmEditing::TreeView1_MouseUp(const QPoint& globalPos)
{
    const bool click = mDragPress.has_value();
    mDragPress.reset();
    // A right click that never became a drag: select the node and offer its commands.
    if (click && !globalPos.isNull() && mSourceNode) {
        selectNode(mSourceNode);
        TreeView1_NodeClick(mSourceNode);
        showContextMenu(globalPos);
    }
}

bool frmEditing::TreeView1_MouseMove(QMouseEvent* event)
{
    if (!mDragPress || !(event->buttons() & Qt::RightButton))
        return false;
    if ((event->position().toPoint() - *mDragPress).manhattanLength() < QApplication::startDragDistance())
        return true;
    mDragPress.reset();
    auto* drag = new QDrag(TreeView1());
    auto* data = new QMimeData;
    Qt::DropActions allowed = Qt::MoveAction;
    TreeView1_OLEStartDrag(*data, allowed);
    drag->setMimeData(data);
    TreeView1_OLEGiveFeedback(*drag);
    drag->exec(allowed, allowed & Qt::CopyAction ? Qt::CopyAction : Qt::MoveAction);
    setDropHighlight(nullptr);
    return true;
}

void frmEditing::TreeView1_OLEStartDrag(QMimeData& data, Qt::DropActions& allowedEffects)
{
    const QString key = mSourceNode ? QString::fromStdString(mSourceNode->key()) : QString();
    data.setData(kNodeKeyFormat, key.toUtf8());
    allowedEffects = (mShiftState & 2) ? Qt::CopyAction : Qt::MoveAction;
}

void frmEditing::TreeView1_OLEGiveFeedback(QDrag& drag)
{
    const QPixmap pointer = dragPointer();
    drag.setDragCursor(pointer, Qt::CopyAction);
    drag.setDragCursor(pointer, Qt::MoveAction);
    drag.setDragCursor(pointer, Qt::IgnoreAction);
}

void frmEditing::TreeView1_OLEDragOver(QDragMoveEvent* event)
{
    if (!event->mimeData()->hasFormat(kNodeKeyFormat)) {
        event->ignore();
        return;
    }
    setDropHighlight(nodeAt(event->position().toPoint()));
    // The one effect the drag offers.
    event->setDropAction(event->possibleActions() & Qt::CopyAction ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

void frmEditing::TreeView1_OLEDragDrop(QDropEvent* event)
{
    if (!event->mimeData()->hasFormat(kNodeKeyFormat)) {
        event->ignore();
        return;
    }
    const bool copy = (event->possibleActions() & Qt::CopyAction) != 0;
    DocNode* target = dropHighlight();
    const std::string key = QString::fromUtf8(event->mimeData()->data(kNodeKeyFormat)).toStdString();
    DocNode* source = mDoc.TreeView1.find(key);
    if (mSourceNode && mSourceNode->key() == key)
        source = mSourceNode;
    DropResult result = DropResult::Ignored;
    recordChange(copy ? "Drag and Drop Copy" : "Drag and Drop Move",
                 [&] { withCommands(*this, [&](EditCommands& c) { result = c.dropNode(source, target, copy); }); });
    setDropHighlight(nullptr);
    if (result == DropResult::Done) {
        event->setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}
