#include "editor/ui/config_tree_view.h"

#include "editor/ui/frm_editing.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

ConfigTreeView::ConfigTreeView(frmEditing* owner, QWidget* parent) : QTreeView(parent), mOwner(owner)
{
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Drags start from the right button only (the window's MouseDown handler); drops come in
    // through the handlers below.
    setDragEnabled(false);
    // The right button drags nodes: its menu comes on release, when no drag started.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setExpandsOnDoubleClick(true);
}

void ConfigTreeView::mousePressEvent(QMouseEvent* event)
{
    if (mOwner->TreeView1_MouseDown(event))
        return;
    QTreeView::mousePressEvent(event);
}

void ConfigTreeView::mouseMoveEvent(QMouseEvent* event)
{
    if (mOwner->TreeView1_MouseMove(event))
        return;
    QTreeView::mouseMoveEvent(event);
}

void ConfigTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    mOwner->TreeView1_MouseUp(event->button() == Qt::RightButton ? event->globalPosition().toPoint() : QPoint());
    QTreeView::mouseReleaseEvent(event);
}

void ConfigTreeView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
        mOwner->TreeView1_DblClick(); // the node's properties
        return;
    }
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        mOwner->showContextMenu(viewport()->mapToGlobal(visualRect(currentIndex()).center()));
        return;
    }
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    if (currentIndex() != before && currentIndex().isValid())
        emit keyboardMoved(currentIndex());
}

void ConfigTreeView::dragEnterEvent(QDragEnterEvent* event) { mOwner->TreeView1_OLEDragOver(event); }

void ConfigTreeView::dragMoveEvent(QDragMoveEvent* event) { mOwner->TreeView1_OLEDragOver(event); }

void ConfigTreeView::dragLeaveEvent(QDragLeaveEvent* event)
{
    mOwner->setDropHighlight(nullptr);
    event->accept();
}

void ConfigTreeView::dropEvent(QDropEvent* event) { mOwner->TreeView1_OLEDragDrop(event); }
