// ListView1: one list of rows shown in four views (large icon, small icon, list, report).
// The icon views and the report view share one item model and one selection, so switching the
// view keeps rows, order and selection. Rows are keyed like the tree's nodes.
#pragma once

#include <QIcon>
#include <QStandardItemModel>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class QListView;
class QStackedWidget;
class QTreeView;
class QItemSelectionModel;

class EditorList : public QWidget {
    Q_OBJECT
public:
    enum class View { Icon, SmallIcon, List, Report };

    explicit EditorList(QWidget* parent = nullptr);

    void setView(View view);
    View view() const { return mView; }

    // ListItems.Clear and ColumnHeaders.Clear together.
    void clear();
    void clearRows();
    void clearColumns();

    // Width is a fraction of the list's present width; it follows the list when it is resized.
    void addColumn(const QString& title, double widthFraction);
    int columnCount() const;
    QString columnTitle(int column) const;
    double columnFraction(int column) const;
    int columnWidth(int column) const;

    // texts[0] is the row's text (column 0), the rest its sub-items. Returns the row index.
    int addRow(const QString& key, const QStringList& texts, const QString& largePicture,
               const QString& smallPicture);
    int rowCount() const;
    int findRow(const QString& key) const;  // -1 when absent
    QString rowKey(int row) const;
    void setRowKey(int row, const QString& key);
    QString rowText(int row, int column = 0) const;
    void setRowText(int row, int column, const QString& text);
    QString rowLargePicture(int row) const;
    QString rowSmallPicture(int row) const;

    // Selected rows in list order.
    std::vector<int> selectedRows() const;
    bool isRowSelected(int row) const;
    void setRowSelected(int row, bool selected);
    void clearSelection();
    // The row that is "the selected item" (the current row), -1 for none.
    int currentRow() const;
    void setCurrentRow(int row);
    QString currentKey() const;

    // Sorting by one column, ascending only; while sorting is on new rows keep the order.
    void sortByColumn(int column);
    // Rows added while a RowBatch lives are sorted once, when the last batch ends.
    class RowBatch {
    public:
        explicit RowBatch(EditorList& list) : mList(list) { ++mList.mBatchDepth; }
        ~RowBatch()
        {
            if (--mList.mBatchDepth == 0)
                mList.appendInOrder(std::move(mList.mPending));
        }
        RowBatch(const RowBatch&) = delete;
        RowBatch& operator=(const RowBatch&) = delete;

    private:
        EditorList& mList;
    };
    void setSorted(bool sorted);
    bool sorted() const { return mSorted; }

    // True when any of the list's views has the keyboard focus.
    bool hasListFocus() const;
    void setListFocus();

    QStandardItemModel* model() { return &mModel; }
    QTreeView* reportView() const { return mReportView; }
    QWidget* activeView() const;
    // The viewport of the view now shown, for mouse input in tests.
    QWidget* activeViewport() const;
    QRect rowRect(int row) const;

    enum Roles { KeyRole = Qt::UserRole + 1, LargePictureRole, SmallPictureRole };

signals:
    void clicked();
    void doubleClicked();
    void columnClicked(int column);
    // The keyboard moved the selection (the window treats it as a click).
    void keyboardSelection();
    // Enter or F2 on the selected rows: their properties.
    void propertiesKey();
    void contextMenuAt(const QPoint& globalPos);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    using Cells = QList<QStandardItem*>;
    void applyColumnWidths();
    void sortNow();
    QString sortText(const Cells& cells) const;
    // Appends rows, in sort order while sorting is on.
    void appendInOrder(std::vector<Cells> rows);

    QStandardItemModel mModel;
    QItemSelectionModel* mSelection = nullptr;
    QStackedWidget* mStack = nullptr;
    QListView* mIconView = nullptr;
    QTreeView* mReportView = nullptr;
    View mView = View::Report;
    std::vector<double> mFractions;
    bool mSorted = false;
    int mSortColumn = 0;
    int mBatchDepth = 0;
    std::vector<Cells> mPending; // rows of the open batch
};
