// The add commands, the properties dialogs opened by a double click, and the find window.
#include "editor/ui/frm_editing.h"

void frmEditing::mnuAddPlc_Click() {}

void frmEditing::mnuAddBranch_Click() {}

void frmEditing::mnuAddItem_Click() {}

void frmEditing::TreeView1_DblClick() {}

void frmEditing::showFindWindow() {}

void frmEditing::unloadFindWindow() {}
