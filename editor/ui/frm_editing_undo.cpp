// Undo and redo: every change to the document is one step on the window's undo stack, which
// keeps the document as it was before and after the step.
#include "editor/ui/frm_editing.h"

#include "editor/model/doc_snapshot.h"

#include <QAction>
#include <QMenu>
#include <QStyle>
#include <QToolBar>
#include <QUndoCommand>
#include <QUndoStack>

namespace {

class SnapshotCommand : public QUndoCommand {
public:
    SnapshotCommand(const QString& text, std::shared_ptr<const DocSnapshot> before,
                    std::shared_ptr<const DocSnapshot> after, frmEditing& window)
        : QUndoCommand(text), mBefore(std::move(before)), mAfter(std::move(after)), mWindow(window)
    {
    }
    void undo() override { mWindow.restoreState(mBefore); }
    void redo() override
    {
        // The first redo comes as the step is pushed, when the change is already made.
        if (mPushed) {
            mPushed = false;
            return;
        }
        mWindow.restoreState(mAfter);
    }

private:
    std::shared_ptr<const DocSnapshot> mBefore, mAfter;
    frmEditing& mWindow;
    bool mPushed = true;
};

// Steps kept. Each holds the document's state, sharing all that did not change with the step
// before it: a step costs a pointer per node and object, plus what it changed.
constexpr int kUndoLimit = 500;

} // namespace

void frmEditing::buildUndo()
{
    mUndoStack = new QUndoStack(this);
    mUndoStack->setUndoLimit(kUndoLimit);
    mUndoAction = mUndoStack->createUndoAction(this, "&Undo");
    mUndoAction->setObjectName("mnuUndo");
    mUndoAction->setShortcuts(QKeySequence::Undo);
    mUndoAction->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    mRedoAction = mUndoStack->createRedoAction(this, "&Redo");
    mRedoAction->setObjectName("mnuRedo");
    mRedoAction->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
    mRedoAction->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    mMenuActions["mnuUndo"] = mUndoAction;
    mMenuActions["mnuRedo"] = mRedoAction;
    if (QMenu* edit = mMenuActions.at("mnuEdit")->menu()) {
        QAction* first = edit->actions().value(0);
        edit->insertAction(first, mUndoAction);
        edit->insertAction(first, mRedoAction);
        edit->insertSeparator(first);
    }
    mToolbar->addSeparator();
    mToolbar->addAction(mUndoAction);
    mToolbar->addAction(mRedoAction);
    // Undoing back to the state last saved makes the document unmodified again.
    connect(mUndoStack, &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (mDoc.gbCfgOpen)
            mDoc.gbCfgSaved = clean;
        updateCaption();
    });
}

void frmEditing::recordChange(const QString& text, const std::function<void()>& change)
{
    // One command may run another (a double click on a list row edits through the tree's):
    // the outer one is the step.
    if (mRecording || !mDoc.gbCfgOpen) {
        change();
        return;
    }
    mRecording = true;
    auto before = std::make_shared<const DocSnapshot>(captureDocument(mDoc, mState.get()));
    if (mState && mState->sameContent(*before))
        before = mState;
    try {
        change();
    } catch (...) {
        mRecording = false;
        throw;
    }
    mRecording = false;
    auto after = std::make_shared<const DocSnapshot>(captureDocument(mDoc, before.get()));
    if (!after->sameContent(*before)) {
        mState = after;
        mUndoStack->push(new SnapshotCommand(text, before, after, *this));
    }
    updateCaption();
}

void frmEditing::restoreState(const std::shared_ptr<const DocSnapshot>& state)
{
    restoreDocument(mDoc, *state);
    mState = state;
    if (DocNode* node = selectedNode())
        TreeView1_NodeClick(node);
}

void frmEditing::resetUndo()
{
    // An empty stack counts as clean; the document's own flag stays what it is.
    const bool saved = mDoc.gbCfgSaved;
    mUndoStack->clear();
    mDoc.gbCfgSaved = saved;
    mState.reset();
    // A document that is not saved (new, or read with parts skipped) has no clean state to
    // return to.
    if (mDoc.gbCfgOpen && !saved)
        mUndoStack->resetClean();
    else
        mUndoStack->setClean(); // clear() leaves an earlier "no clean state" on an empty stack
    updateCaption();
}

void frmEditing::markSaved()
{
    mUndoStack->setClean();
    mDoc.gbCfgSaved = true;
    updateCaption();
}
