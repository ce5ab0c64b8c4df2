#include "editor/ui/frm_find.h"

#include "editor/model/editor_document.h"
#include "editor/model/text_conv.h"
#include "editor/ui/dialog_input.h"
#include "editor/ui/error_message.h"
#include "editor/ui/frm_editing.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

frmFind::frmFind(frmEditing& owner) : QWidget(&owner, Qt::Window), mOwner(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Find Item");
    setWindowModality(Qt::NonModal);

    lblFind = new QLabel("Type the name of the item to find", this);
    txtFind = new QLineEdit(this);
    txtFind->setObjectName("txtFind");
    cmdFind = new QPushButton("Find", this);
    cmdFind->setObjectName("cmdFind");
    cmdNext = new QPushButton("Find Next", this);
    cmdNext->setObjectName("cmdNext");
    cmdCancel = new QPushButton("Exit", this);
    cmdCancel->setObjectName("cmdCancel");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblFind);
    layout->addWidget(txtFind);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdFind);
    buttons->addWidget(cmdNext);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);

    connect(cmdFind, &QPushButton::clicked, this, &frmFind::cmdFind_Click);
    connect(cmdNext, &QPushButton::clicked, this, &frmFind::cmdNext_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFind::cmdCancel_Click);
    // Enter finds, Escape leaves.
    connect(txtFind, &QLineEdit::returnPressed, this, &frmFind::cmdFind_Click);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &frmFind::cmdCancel_Click);

    // Form_Load
    mnCounter = 0;
    mOwner.document().gbFindLoaded = true;
}

// Unloading happens on close; when the main window itself goes, its document is gone already.
frmFind::~frmFind() = default;

bool frmFind::matches(const std::string& nodeText, const std::string& search)
{
    return upperCase(leftChars(nodeText, charCount(search))) == upperCase(search);
}

void frmFind::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Form_Activate();
}

void frmFind::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
    QWidget::changeEvent(event);
}

void frmFind::Form_Activate() { txtFind->setFocus(Qt::ActiveWindowFocusReason); }

void frmFind::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    QWidget::closeEvent(event);
}

void frmFind::Form_Unload()
{
    if (mUnloaded)
        return;
    mUnloaded = true;
    mOwner.document().gbFindLoaded = false;
    if (mOwner.mFindWindow == this)
        mOwner.mFindWindow = nullptr;
}

void frmFind::cmdFind_Click()
{
    trapErrors(mOwner.prompts(), "cmdFind_Click", [&] {
        const std::string search = toStd(txtFind->text());
        if (search.empty())
            return;
        for (DocNode* node : mOwner.tree().nodes()) {
            if (matches(node->text(), search)) {
                mOwner.showFoundNode(node);
                return;
            }
        }
    });
}

void frmFind::cmdNext_Click()
{
    trapErrors(mOwner.prompts(), "cmdNext_Click", [&] {
        incrementCounter(mnCounter);
        const std::string search = toStd(txtFind->text());
        if (search.empty())
            return;
        int found = 0;
        for (DocNode* node : mOwner.tree().nodes()) {
            if (!matches(node->text(), search))
                continue;
            ++found;
            mOwner.showFoundNode(node);
            if (found > mnCounter)
                return;
        }
    });
}

void frmFind::cmdCancel_Click() { close(); }
