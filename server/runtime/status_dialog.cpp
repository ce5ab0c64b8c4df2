#include "server/runtime/status_dialog.h"

#include "server/hostlink/cyclic_block.h"
#include "server/hostlink/plc.h"
#include "server/hostlink/plc_list.h"
#include "server/runtime/plc_tag.h"
#include "server/runtime/requests.h"
#include "server/runtime/status_value_format.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <algorithm>
#include <mutex>

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kPointerRole = Qt::UserRole + 1;

// Dialog units of the dialog template (MS Sans Serif 8) to pixels.
QRect dlu(int x, int y, int w, int h)
{
    auto px = [](int v) { return v * 3 / 2; };
    auto py = [](int v) { return v * 13 / 8; };
    return QRect(px(x), py(y), px(w), py(h));
}

PlcTag* tagOfRow(const QTreeWidgetItem* row)
{
    return reinterpret_cast<PlcTag*>(row->data(0, kPointerRole).value<quintptr>());
}

} // namespace

StatusDialog::StatusDialog(QWidget* parent, PlcList* plcs)
    : QDialog(parent), plcs_(plcs ? plcs : plcList())
{
    setObjectName("StatusDialog");
    setWindowTitle("Communication Status");
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    setFixedSize(dlu(0, 0, 373, 255).size());

    auto* group = new QGroupBox("HostLink Network", this);
    group->setGeometry(dlu(7, 7, 359, 220));

    tree_ = new QTreeWidget(this);
    tree_->setObjectName("tree");
    tree_->setGeometry(dlu(12, 19, 146, 186));
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setDragEnabled(false);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);

    list_ = new QTreeWidget(this);
    list_->setObjectName("list");
    list_->setGeometry(dlu(158, 19, 204, 186));
    list_->setRootIsDecorated(false);
    list_->setColumnCount(3);
    list_->setHeaderLabels({"Tag Name", "Value", "Quality"});
    list_->setColumnWidth(0, 120);
    list_->setColumnWidth(1, 82);
    list_->setColumnWidth(2, 100);
    list_->setSortingEnabled(true);
    list_->sortByColumn(0, Qt::AscendingOrder);
    list_->header()->setSectionsClickable(false);

    refresh_ = new QPushButton("&Refresh", this);
    refresh_->setObjectName("refresh");
    refresh_->setGeometry(dlu(316, 209, 42, 13));
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ok");
    ok->setGeometry(dlu(157, 234, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(refresh_, &QPushButton::clicked, this, &StatusDialog::onRefresh);

    fillTree();
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { onSelectionChanged(current); });
    ok->setFocus();
}

StatusDialog::~StatusDialog()
{
    // The PLCs, blocks and tags forget this dialog's items and rows.
    if (plcs_) {
        for (Plc* plc : plcs_->plcs()) {
            plc->statusItem = nullptr;
            std::lock_guard lock(requestLock);
            for (const auto& block : plc->cyclicBlocks())
                block->statusItem = nullptr;
        }
    }
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        tagOfRow(list_->topLevelItem(i))->setListRow(-1);
}

StatusDialog::ItemKind StatusDialog::kindOf(const QTreeWidgetItem* item)
{
    return item ? static_cast<ItemKind>(item->data(0, kKindRole).toInt()) : RootItem;
}

Plc* StatusDialog::plcOf(const QTreeWidgetItem* item)
{
    const QTreeWidgetItem* p = kindOf(item) == BlockItem ? item->parent() : item;
    return p ? reinterpret_cast<Plc*>(p->data(0, kPointerRole).value<quintptr>()) : nullptr;
}

CyclicBlock* StatusDialog::blockOf(const QTreeWidgetItem* item)
{
    return reinterpret_cast<CyclicBlock*>(item->data(0, kPointerRole).value<quintptr>());
}

QTreeWidgetItem* StatusDialog::insertSorted(QTreeWidgetItem* parent, const QString& label)
{
    int at = 0;
    while (at < parent->childCount() &&
           QString::compare(parent->child(at)->text(0), label, Qt::CaseInsensitive) <= 0)
        ++at;
    auto* item = new QTreeWidgetItem(QStringList{label});
    parent->insertChild(at, item);
    return item;
}

QTreeWidgetItem* StatusDialog::insertBlockItem(Plc* plc, CyclicBlock* block)
{
    auto* parent = static_cast<QTreeWidgetItem*>(plc->statusItem);
    QTreeWidgetItem* item = insertSorted(parent, QString::fromStdString(block->label()));
    item->setData(0, kKindRole, BlockItem);
    item->setData(0, kPointerRole, QVariant::fromValue(reinterpret_cast<quintptr>(block)));
    block->statusItem = item;
    return item;
}

void StatusDialog::fillTree()
{
    root_ = new QTreeWidgetItem(tree_, QStringList{"PLCs Network"});
    root_->setData(0, kKindRole, RootItem);
    if (plcs_) {
        for (Plc* plc : plcs_->plcs()) {
            QTreeWidgetItem* item = insertSorted(root_, QString::fromStdString(plc->name()));
            item->setData(0, kKindRole, PlcItem);
            item->setData(0, kPointerRole, QVariant::fromValue(reinterpret_cast<quintptr>(plc)));
            plc->statusItem = item;
            std::lock_guard lock(requestLock);
            for (const auto& block : plc->cyclicBlocks())
                insertBlockItem(plc, block.get());
        }
    }
    root_->setExpanded(true);
    tree_->setCurrentItem(nullptr);
    tree_->clearSelection();
}

void StatusDialog::deleteBlockItem(QTreeWidgetItem* item)
{
    if (item == remembered_)
        remembered_ = nullptr;
    delete item;
}

void StatusDialog::emptyList()
{
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        tagOfRow(list_->topLevelItem(i))->setListRow(-1);
    list_->clear();
}

void StatusDialog::renumberRows()
{
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        tagOfRow(list_->topLevelItem(i))->setListRow(i);
}

void StatusDialog::fillCells(int row, PlcTag* tag)
{
    QTreeWidgetItem* item = list_->topLevelItem(row);
    std::string value, quality;
    if (auto cache = tag->getCache()) {
        Variant v;
        cache->getValue(v);
        value = formatStatusValue(tag->getNativeDatatype(), v, tag->elements());
        quality = formatStatusQuality(cache->getQuality());
    }
    item->setText(1, QString::fromLatin1(value.c_str()));
    item->setText(2, QString::fromStdString(quality));
}

void StatusDialog::onSelectionChanged(QTreeWidgetItem* current)
{
    remembered_ = current;
    emptyList();
    if (kindOf(current) != BlockItem)
        return;
    Plc* plc = plcOf(current);
    CyclicBlock* block = blockOf(current);
    std::vector<PlcTag*> tags;
    bool present;
    {
        std::lock_guard lock(requestLock);
        present = plc->hasCyclicBlock(block) && block->statusItem == current;
        if (present)
            tags = block->tags();
    }
    if (present) {
        for (PlcTag* tag : tags) {
            auto* row = new QTreeWidgetItem(QStringList{QString::fromStdString(tag->getName())});
            row->setData(0, kPointerRole, QVariant::fromValue(reinterpret_cast<quintptr>(tag)));
            list_->addTopLevelItem(row);
        }
        renumberRows();
        refresh(false);
        return;
    }
    // The block is gone: its item goes, once the tree has finished changing the selection.
    QMetaObject::invokeMethod(
        this,
        [this, current] {
            if (remembered_ != current)
                return;
            {
                const QSignalBlocker blocker(tree_);
                deleteBlockItem(current);
            }
            onSelectionChanged(tree_->currentItem());
        },
        Qt::QueuedConnection);
}

bool StatusDialog::selectFirstBlock()
{
    onRefresh();
    for (int i = 0; i < root_->childCount(); ++i) {
        QTreeWidgetItem* plcItem = root_->child(i);
        if (plcItem->childCount() > 0) {
            plcItem->setExpanded(true);
            tree_->setCurrentItem(plcItem->child(0));
            return true;
        }
    }
    return false;
}

void StatusDialog::onRefresh()
{
    if (kindOf(remembered_) == BlockItem && remembered_) {
        Plc* plc = plcOf(remembered_);
        CyclicBlock* block = blockOf(remembered_);
        bool present;
        {
            std::lock_guard lock(requestLock);
            present = plc->hasCyclicBlock(block) && block->statusItem == remembered_;
        }
        if (present) {
            refresh(false);
            return;
        }
        QTreeWidgetItem* before = tree_->currentItem();
        {
            const QSignalBlocker blocker(tree_);
            deleteBlockItem(remembered_);
        }
        refresh(false);
        // Deleting the selected item made the tree select another one; show that one.
        if (tree_->currentItem() != before || before == nullptr)
            onSelectionChanged(tree_->currentItem());
        return;
    }
    remembered_ = nullptr;
    refresh(true);
}

void StatusDialog::refresh(bool emptying)
{
    QTreeWidgetItem* before = tree_->currentItem();
    bool selectionLost = false;
    if (plcs_) {
        for (Plc* plc : plcs_->plcs()) {
            auto* plcItem = static_cast<QTreeWidgetItem*>(plc->statusItem);
            if (!plcItem)
                continue;
            std::lock_guard lock(requestLock);
            for (int i = plcItem->childCount() - 1; i >= 0; --i) {
                QTreeWidgetItem* child = plcItem->child(i);
                CyclicBlock* block = blockOf(child);
                if (plc->hasCyclicBlock(block) && block->statusItem == child) {
                    child->setText(0, QString::fromStdString(block->label()));
                } else {
                    if (child == before)
                        selectionLost = true;
                    const QSignalBlocker blocker(tree_);
                    deleteBlockItem(child);
                }
            }
            for (const auto& block : plc->cyclicBlocks()) {
                if (!block->statusItem) {
                    const QSignalBlocker blocker(tree_);
                    insertBlockItem(plc, block.get());
                }
            }
        }
    }

    if (kindOf(remembered_) == BlockItem && remembered_) {
        Plc* plc = plcOf(remembered_);
        CyclicBlock* block = blockOf(remembered_);
        std::vector<PlcTag*> tags;
        bool present;
        {
            std::lock_guard lock(requestLock);
            present = plc->hasCyclicBlock(block) && block->statusItem == remembered_;
            if (present)
                tags = block->tags();
        }
        if (present) {
            list_->setSortingEnabled(false);
            for (int row = list_->topLevelItemCount() - 1; row >= 0; --row) {
                PlcTag* tag = tagOfRow(list_->topLevelItem(row));
                if (std::find(tags.begin(), tags.end(), tag) == tags.end()) {
                    tag->setListRow(-1);
                    delete list_->takeTopLevelItem(row);
                } else {
                    fillCells(row, tag);
                }
            }
            for (PlcTag* tag : tags) {
                if (tag->listRow() != -1)
                    continue;
                auto* row = new QTreeWidgetItem(QStringList{QString::fromStdString(tag->getName())});
                row->setData(0, kPointerRole, QVariant::fromValue(reinterpret_cast<quintptr>(tag)));
                list_->addTopLevelItem(row);
                const int index = list_->indexOfTopLevelItem(row);
                tag->setListRow(index);
                fillCells(index, tag);
            }
            list_->setSortingEnabled(true);
            list_->sortByColumn(0, Qt::AscendingOrder);
            renumberRows();
        }
    } else if (emptying) {
        emptyList();
    }

    // A refresh that removed the selected block lets the new selection show its list.
    if (selectionLost)
        onSelectionChanged(tree_->currentItem());
}
