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
    mOwner->TreeView1_MouseUp();
    QTreeView::mouseReleaseEvent(event);
}

void ConfigTreeView::keyPressEvent(QKeyEvent* event)
{
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
