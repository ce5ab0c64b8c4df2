// The widget of TreeView1: a QTreeView that hands mouse presses, drags and drops to the main
// window's handlers and reports keyboard moves of the selection as node clicks.
#pragma once

#include <QTreeView>

class frmEditing;

class ConfigTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit ConfigTreeView(frmEditing* owner, QWidget* parent = nullptr);

signals:
    // The user moved the current node with the keyboard.
    void keyboardMoved(const QModelIndex& index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    frmEditing* mOwner;
};
