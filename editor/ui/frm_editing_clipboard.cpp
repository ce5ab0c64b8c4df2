// The Edit commands (copy, cut, paste, delete, paste names and comments) and the tree's drag
// and drop.
#include "editor/ui/frm_editing.h"

#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

void frmEditing::mnuCopy_Click() {}

void frmEditing::mnuCut_Click() {}

void frmEditing::mnuPaste_Click() {}

void frmEditing::mnuDelete_Click() {}

void frmEditing::mnuPasteName_Click() {}

void frmEditing::mnuPasteComment_Click() {}

void frmEditing::RemoveBranch(DocNode*) {}

void frmEditing::CopySubTree(DocTree&, DocNode*, DocTree&, DocNode*, Qt::DropAction) {}

bool frmEditing::TreeView1_MouseDown(QMouseEvent*) { return false; }

void frmEditing::TreeView1_OLEStartDrag(QMimeData&, Qt::DropActions&) {}

void frmEditing::TreeView1_OLEGiveFeedback(QDrag&) {}

void frmEditing::TreeView1_OLEDragOver(QDragMoveEvent*) {}

void frmEditing::TreeView1_OLEDragDrop(QDropEvent*) {}
