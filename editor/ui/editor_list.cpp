#include "editor/ui/editor_list.h"

#include "editor/ui/pictures.h"

#include <QEvent>
#include <QHeaderView>
#include <QListView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSet>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kSortTextRole = Qt::UserRole + 20;

// In the large-icon view each row shows its large picture instead of its small one.
class LargePictureDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool large = false;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (large) {
            option->icon = pictures::listPicture(index.data(EditorList::LargePictureRole).toString());
            option->decorationSize = QSize(32, 32);
        }
    }
};

// Clicks anywhere in a view's area reach the window as the list's click and double click.
class ClickForwarder : public QObject {
public:
    ClickForwarder(EditorList* list, QObject* parent) : QObject(parent), mList(list) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton)
                QMetaObject::invokeMethod(mList, "clicked", Qt::DirectConnection);
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            // The press before the double click has already selected the row.
            if (mouse->button() == Qt::LeftButton)
                QMetaObject::invokeMethod(mList, "doubleClicked", Qt::DirectConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    EditorList* mList;
};

// Keys on a view: Enter or F2 asks for the properties; a key that moved the selection counts
// as a click, so the window's commands follow the keyboard as they follow the mouse.
class KeyForwarder : public QObject {
public:
    KeyForwarder(EditorList* list, QItemSelectionModel* selection, QObject* parent)
        : QObject(parent), mList(list), mSelection(selection)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
                emit mList->propertiesKey();
                return true;
            }
            mBefore = mSelection->selectedIndexes();
        } else if (event->type() == QEvent::KeyRelease) {
            if (mSelection->selectedIndexes() != mBefore)
                emit mList->keyboardSelection();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    EditorList* mList;
    QItemSelectionModel* mSelection;
    QModelIndexList mBefore;
};

QStandardItem* newCell(const QString& text)
{
    auto* cell = new QStandardItem(text);
    cell->setEditable(false);
    cell->setData(text.toCaseFolded(), kSortTextRole);
    return cell;
}

}  // namespace

EditorList::EditorList(QWidget* parent) : QWidget(parent)
{
    mModel.setSortRole(kSortTextRole);
    mSelection = new QItemSelectionModel(&mModel, this);

    mIconView = new QListView;
    mIconView->setModel(&mModel);
    mIconView->setSelectionModel(mSelection);
    mIconView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mIconView->setSelectionBehavior(QAbstractItemView::SelectRows);
    mIconView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mIconView->setResizeMode(QListView::Adjust);
    mIconView->setItemDelegate(new LargePictureDelegate(mIconView));
    mIconView->setUniformItemSizes(true);

    mReportView = new QTreeView;
    mReportView->setModel(&mModel);
    mReportView->setSelectionModel(mSelection);
    mReportView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mReportView->setSelectionBehavior(QAbstractItemView::SelectRows);
    mReportView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mReportView->setRootIsDecorated(false);
    mReportView->setItemsExpandable(false);
    mReportView->setUniformRowHeights(true);
    mReportView->setAllColumnsShowFocus(true);
    mReportView->header()->setStretchLastSection(false);
    mReportView->header()->setSectionsClickable(true);
    mReportView->header()->setSectionsMovable(false);
    connect(mReportView->header(), &QHeaderView::sectionClicked, this, &EditorList::columnClicked);

    auto* forwarder = new ClickForwarder(this, this);
    mIconView->viewport()->installEventFilter(forwarder);
    mReportView->viewport()->installEventFilter(forwarder);
    auto* keys = new KeyForwarder(this, mSelection, this);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(mIconView), static_cast<QAbstractItemView*>(mReportView)}) {
        view->installEventFilter(keys);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
            emit contextMenuAt(view->viewport()->mapToGlobal(pos));
        });
    }

    mStack = new QStackedWidget;
    mStack->addWidget(mIconView);
    mStack->addWidget(mReportView);
    mStack->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mStack);
    setFocusProxy(mReportView);
    setView(View::Report);
}

void EditorList::setView(View view)
{
    mView = view;
    auto* delegate = static_cast<LargePictureDelegate*>(mIconView->itemDelegate());
    delegate->large = view == View::Icon;
    switch (view) {
    case View::Icon:
        mIconView->setViewMode(QListView::IconMode);
        mIconView->setIconSize(QSize(32, 32));
        mIconView->setGridSize(QSize(120, 68));
        mIconView->setFlow(QListView::LeftToRight);
        mIconView->setWrapping(true);
        mIconView->setWordWrap(true);
        mIconView->setMovement(QListView::Static);
        break;
    case View::SmallIcon:
        mIconView->setViewMode(QListView::ListMode);
        mIconView->setIconSize(QSize(16, 16));
        mIconView->setGridSize(QSize(160, 22));
        mIconView->setFlow(QListView::LeftToRight);
        mIconView->setWrapping(true);
        mIconView->setWordWrap(false);
        break;
    case View::List:
        mIconView->setViewMode(QListView::ListMode);
        mIconView->setIconSize(QSize(16, 16));
        mIconView->setGridSize(QSize(160, 22));
        mIconView->setFlow(QListView::TopToBottom);
        mIconView->setWrapping(true);
        mIconView->setWordWrap(false);
        break;
    case View::Report:
        break;
    }
    bool hadFocus = hasListFocus();
    mStack->setCurrentWidget(view == View::Report ? static_cast<QWidget*>(mReportView) : mIconView);
    setFocusProxy(activeView());
    if (view != View::Report)
        mIconView->doItemsLayout();
    if (hadFocus)
        activeView()->setFocus();
}

QWidget* EditorList::activeView() const
{
    return mView == View::Report ? static_cast<QWidget*>(mReportView) : mIconView;
}

QWidget* EditorList::activeViewport() const
{
    return mView == View::Report ? mReportView->viewport() : mIconView->viewport();
}

QRect EditorList::rowRect(int row) const
{
    QModelIndex index = mModel.index(row, 0);
    return mView == View::Report ? mReportView->visualRect(index) : mIconView->visualRect(index);
}

void EditorList::clear()
{
    clearRows();
    clearColumns();
}

void EditorList::clearRows()
{
    for (Cells& cells : mPending)
        qDeleteAll(cells);
    mPending.clear();
    mSelection->clear();
    mModel.removeRows(0, mModel.rowCount());
}

void EditorList::clearColumns()
{
    mModel.setColumnCount(0);
    mFractions.clear();
}

void EditorList::addColumn(const QString& title, double widthFraction)
{
    const int column = static_cast<int>(mFractions.size());
    mFractions.push_back(widthFraction);
    if (mModel.columnCount() < column + 1)
        mModel.setColumnCount(column + 1);
    mModel.setHorizontalHeaderItem(column, new QStandardItem(title));
    applyColumnWidths();
}

int EditorList::columnCount() const { return static_cast<int>(mFractions.size()); }

QString EditorList::columnTitle(int column) const
{
    QStandardItem* header = mModel.horizontalHeaderItem(column);
    return header ? header->text() : QString();
}

double EditorList::columnFraction(int column) const
{
    return column >= 0 && column < columnCount() ? mFractions[static_cast<size_t>(column)] : 0.0;
}

int EditorList::columnWidth(int column) const { return mReportView->columnWidth(column); }

void EditorList::applyColumnWidths()
{
    const int width = mReportView->viewport()->width() > 0 ? mReportView->viewport()->width() : this->width();
    for (int c = 0; c < columnCount(); ++c)
        mReportView->setColumnWidth(c, qMax(16, static_cast<int>(width * mFractions[static_cast<size_t>(c)])));
}

void EditorList::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applyColumnWidths();
}

int EditorList::addRow(const QString& key, const QStringList& texts, const QString& largePicture,
                       const QString& smallPicture)
{
    QList<QStandardItem*> cells;
    const int columns = qMax(static_cast<int>(texts.size()), qMax(1, mModel.columnCount()));
    for (int c = 0; c < columns; ++c)
        cells.append(newCell(c < texts.size() ? texts[c] : QString()));
    cells[0]->setData(key, KeyRole);
    cells[0]->setData(largePicture, LargePictureRole);
    cells[0]->setData(smallPicture, SmallPictureRole);
    cells[0]->setIcon(pictures::treePicture(smallPicture));
    if (mBatchDepth > 0) {
        mPending.push_back(cells);
        return rowCount() + static_cast<int>(mPending.size()) - 1;
    }
    int row = mModel.rowCount();
    if (mSorted) {
        // After the last row whose text is not greater: equal texts keep their order of arrival.
        const QString text = sortText(cells);
        int low = 0;
        while (low < row) {
            const int mid = (low + row) / 2;
            if (text < mModel.item(mid, mSortColumn)->data(kSortTextRole).toString())
                row = mid;
            else
                low = mid + 1;
        }
    }
    mModel.insertRow(row, cells);
    return row;
}

QString EditorList::sortText(const Cells& cells) const
{
    QStandardItem* cell = cells.value(mSortColumn);
    return cell ? cell->data(kSortTextRole).toString() : QString();
}

void EditorList::appendInOrder(std::vector<Cells> rows)
{
    if (mSorted)
        std::stable_sort(rows.begin(), rows.end(),
                         [this](const Cells& a, const Cells& b) { return sortText(a) < sortText(b); });
    for (Cells& cells : rows)
        mModel.appendRow(cells);
}

int EditorList::rowCount() const { return mModel.rowCount(); }

int EditorList::findRow(const QString& key) const
{
    for (int r = 0; r < mModel.rowCount(); ++r)
        if (mModel.item(r, 0)->data(KeyRole).toString() == key)
            return r;
    return -1;
}

QString EditorList::rowKey(int row) const
{
    QStandardItem* cell = mModel.item(row, 0);
    return cell ? cell->data(KeyRole).toString() : QString();
}

void EditorList::setRowKey(int row, const QString& key)
{
    if (QStandardItem* cell = mModel.item(row, 0))
        cell->setData(key, KeyRole);
}

QString EditorList::rowText(int row, int column) const
{
    QStandardItem* cell = mModel.item(row, column);
    return cell ? cell->text() : QString();
}

void EditorList::setRowText(int row, int column, const QString& text)
{
    if (row < 0 || row >= mModel.rowCount() || column < 0)
        return;
    QStandardItem* cell = mModel.item(row, column);
    if (!cell) {
        cell = newCell(text);
        mModel.setItem(row, column, cell);
    }
    cell->setText(text);
    cell->setData(text.toCaseFolded(), kSortTextRole);
}

QString EditorList::rowLargePicture(int row) const
{
    QStandardItem* cell = mModel.item(row, 0);
    return cell ? cell->data(LargePictureRole).toString() : QString();
}

QString EditorList::rowSmallPicture(int row) const
{
    QStandardItem* cell = mModel.item(row, 0);
    return cell ? cell->data(SmallPictureRole).toString() : QString();
}

std::vector<int> EditorList::selectedRows() const
{
    std::vector<int> rows;
    for (int r = 0; r < mModel.rowCount(); ++r)
        if (mSelection->isSelected(mModel.index(r, 0)))
            rows.push_back(r);
    return rows;
}

bool EditorList::isRowSelected(int row) const { return mSelection->isSelected(mModel.index(row, 0)); }

void EditorList::setRowSelected(int row, bool selected)
{
    if (row < 0 || row >= mModel.rowCount())
        return;
    mSelection->select(mModel.index(row, 0), (selected ? QItemSelectionModel::Select
                                                       : QItemSelectionModel::Deselect) |
                                                 QItemSelectionModel::Rows);
}

void EditorList::clearSelection() { mSelection->clearSelection(); }

int EditorList::currentRow() const
{
    QModelIndex current = mSelection->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void EditorList::setCurrentRow(int row)
{
    if (row < 0 || row >= mModel.rowCount()) {
        mSelection->clearCurrentIndex();
        return;
    }
    mSelection->setCurrentIndex(mModel.index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
}

QString EditorList::currentKey() const { return rowKey(currentRow()); }

void EditorList::sortByColumn(int column)
{
    mSortColumn = column;
    mSorted = true;
    sortNow();
}

void EditorList::setSorted(bool sorted)
{
    mSorted = sorted;
    mReportView->header()->setSortIndicatorShown(sorted);
    if (sorted)
        sortNow();
}

void EditorList::sortNow()
{
    // The rows are put back in order rather than sorted by the model: its sort leaves each moved
    // item's remembered row out of date, and every later removal then searches the whole list
    // (clearing a sorted list of 5,000 rows took seconds).
    const QString current = currentKey();
    QSet<QString> selected;
    for (int row : selectedRows())
        selected.insert(rowKey(row));
    std::vector<Cells> rows;
    rows.reserve(static_cast<size_t>(mModel.rowCount()));
    for (int r = 0; r < mModel.rowCount(); ++r) {
        Cells cells;
        for (int c = 0; c < mModel.columnCount(); ++c) {
            QStandardItem* cell = mModel.item(r, c);
            cells.append(cell ? cell->clone() : newCell(QString()));
        }
        rows.push_back(cells);
    }
    clearRows();
    appendInOrder(std::move(rows));
    QItemSelection selection;
    for (int r = 0; r < mModel.rowCount(); ++r) {
        const QString key = rowKey(r);
        if (selected.contains(key))
            selection.select(mModel.index(r, 0), mModel.index(r, mModel.columnCount() - 1));
        if (key == current && !current.isEmpty())
            mSelection->setCurrentIndex(mModel.index(r, 0), QItemSelectionModel::NoUpdate);
    }
    mSelection->select(selection, QItemSelectionModel::Select);
    mReportView->header()->setSortIndicatorShown(true);
    mReportView->header()->setSortIndicator(mSortColumn, Qt::AscendingOrder);
}

bool EditorList::hasListFocus() const
{
    return mIconView->hasFocus() || mReportView->hasFocus() || mReportView->header()->hasFocus();
}

void EditorList::setListFocus() { activeView()->setFocus(Qt::OtherFocusReason); }
