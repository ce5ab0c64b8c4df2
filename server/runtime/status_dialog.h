// "Communication Status": the PLCs with their cyclic blocks, and for the selected block each
// tag's value and quality. Values change only on a new selection or on "&Refresh". The polling
// thread changes blocks and their tag sets meanwhile, so block lists and tag sets are read
// under requestLock, and a remembered block is used only after its PLC confirms it still has it.
#pragma once

#include <QDialog>

class CyclicBlock;
class Plc;
class PlcList;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class StatusDialog : public QDialog {
    Q_OBJECT
public:
    // plcs: the PLC list shown (default: the server's).
    explicit StatusDialog(QWidget* parent = nullptr, PlcList* plcs = nullptr);
    ~StatusDialog() override;

    QTreeWidget* tree() const { return tree_; }
    QTreeWidget* list() const { return list_; }
    QPushButton* refreshButton() const { return refresh_; }
    QPushButton* resetButton() const { return reset_; }
    // The figures of the selected PLC, block or (at the root) the lines, as shown.
    QString figuresText() const;
    QTreeWidgetItem* rootItem() const { return root_; }

    // The "&Refresh" button's action.
    void onRefresh();
    // Brings the tree up to date and selects the first block of the first PLC that has one
    // (the demo opens the dialog this way). False when no PLC has a block yet.
    bool selectFirstBlock();

private:
    enum ItemKind { RootItem = 0, PlcItem = 1, BlockItem = 2 };

    void fillTree();
    void onSelectionChanged(QTreeWidgetItem* current);
    void refresh(bool emptyList);
    void emptyList();
    void fillCells(int row, class PlcTag* tag);
    void renumberRows();
    // Puts the current figures of the selected PLC, block or lines in the pane.
    void showFigures();

    QTreeWidgetItem* insertSorted(QTreeWidgetItem* parent, const QString& label);
    QTreeWidgetItem* insertBlockItem(Plc* plc, CyclicBlock* block);
    static ItemKind kindOf(const QTreeWidgetItem* item);
    static Plc* plcOf(const QTreeWidgetItem* item);
    static CyclicBlock* blockOf(const QTreeWidgetItem* item);
    void deleteBlockItem(QTreeWidgetItem* item);

    PlcList* plcs_;
    QTreeWidget* tree_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QPushButton* reset_ = nullptr;
    class QLabel* figures_ = nullptr;
    QTreeWidgetItem* root_ = nullptr;
    QTreeWidgetItem* remembered_ = nullptr;
    bool deleting_ = false;
};
