#include "editor/ui/frm_replace.h"

#include "editor/model/editor_document.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// Twips are 1/1440 inch.
int twipsToPixels(int twips, int dpi) { return twips * dpi / 1440; }
} // namespace

std::function<void(frmReplace&)>& frmReplace::shownHook()
{
    static std::function<void(frmReplace&)> hook;
    return hook;
}

frmReplace::frmReplace(EditorDocument& doc, const ReplaceTable& table, QWidget* parent)
    : QDialog(parent), mDoc(doc)
{
    setWindowTitle("Replace Text");
    setModal(true);
    mGrid = new QTableWidget(static_cast<int>(table.rows.size()), 3, this);
    mGrid->setObjectName("Grid1");
    mGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mGrid->verticalHeader()->hide();
    QStringList headers;
    for (const auto& h : table.headers)
        headers << QString::fromStdString(h);
    mGrid->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < 3; ++c)
        mGrid->setColumnWidth(c, twipsToPixels(table.widths[c], logicalDpiX()));
    for (int r = 0; r < static_cast<int>(table.rows.size()); ++r)
        for (int c = 0; c < 3; ++c)
            mGrid->setItem(r, c, new QTableWidgetItem(QString::fromStdString(table.rows[r][c])));

    mYes = new QPushButton("YES", this);
    mYes->setObjectName("Command2");
    mNo = new QPushButton("NO", this);
    mNo->setObjectName("Command1");
    mYes->setDefault(true); // Enter is YES; Escape leaves as NO
    connect(mYes, &QPushButton::clicked, this, [this] {
        mDoc.gbReplaceYes = true;
        accept();
    });
    connect(mNo, &QPushButton::clicked, this, [this] {
        mDoc.gbReplaceYes = false;
        reject();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(mYes);
    buttons->addWidget(mNo);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mGrid);
    layout->addLayout(buttons);
    int width = 0;
    for (int c = 0; c < 3; ++c)
        width += mGrid->columnWidth(c);
    resize(width + 40, 300);
}

bool frmReplace::run()
{
    if (shownHook())
        QTimer::singleShot(0, this, [this] { shownHook()(*this); });
    exec();
    return mDoc.gbReplaceYes;
}
