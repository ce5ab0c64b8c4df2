#include "server/runtime/status_dialog.h"

#include "server/polling/cyclic_block.h"
#include "server/polling/plc.h"
#include "server/polling/plc_list.h"
#include "server/tags/plc_tag.h"
#include "server/tags/requests.h"
#include "server/runtime/status_value_format.h"

#include "server/door_base/door_latin1.h"
#include "server/figures/link_figures.h"

#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
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
    setFixedSize(dlu(0, 0, 373, 300).size());

    auto* group = new QGroupBox("HostLink Network", this);
    group->setGeometry(dlu(7, 7, 359, 220));

    tree_ = new QTreeWidget(this);
    tree_->setObjectName("tree");
    tree_->setGeometry(dlu(12, 19, 146, 186));
    tree_->setHeaderHidden(true);
    // Beside each PLC its mode, as it reports it.
    tree_->setColumnCount(2);
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tree_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
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
    reset_ = new QPushButton("Reset &Statistics", this);
    reset_->setObjectName("resetStatistics");
    reset_->setGeometry(dlu(246, 209, 66, 13));
    // The figures of what is selected, below the network; kept fresh every second.
    figures_ = new QLabel(this);
    figures_->setObjectName("figures");
    figures_->setGeometry(dlu(7, 229, 359, 44));
    figures_->setWordWrap(true);
    figures_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    figures_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ticker = new QTimer(this);
    connect(ticker, &QTimer::timeout, this, &StatusDialog::showFigures);
    ticker->start(1000);
    connect(reset_, &QPushButton::clicked, this, [this] {
        linkFigures(true);
        showFigures();
    });

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ok");
    ok->setGeometry(dlu(157, 279, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(refresh_, &QPushButton::clicked, this, &StatusDialog::onRefresh);
    connect(refresh_, &QPushButton::clicked, this, &StatusDialog::showFigures);

    fillTree();
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
        onSelectionChanged(current);
        showFigures();
    });
    showFigures();
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

namespace {

QString number(double v) { return QString::number(v, 'f', 1); }

QString clockTime(long long ms)
{
    return ms ? QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss") : QString("never");
}

QString plcFigures(const nlohmann::json& p)
{
    QStringList failed;
    for (const auto& [code, count] : p["failuresByResult"].items())
        failed << QString::fromStdString(code) + ": " + QString::number(count.get<qulonglong>());
    QString text = QString("%1, unit %2 on %3: %4 commands, %5 characters sent, %6 received; %7 failed%8.\n")
                       .arg(QString::fromStdString(p["plc"]), QString::number(p["unit"].get<int>()),
                            QString::fromStdString(p["port"]), QString::number(p["commands"].get<qulonglong>()),
                            QString::number(p["charsSent"].get<qulonglong>()),
                            QString::number(p["charsReceived"].get<qulonglong>()),
                            QString::number(p["failures"].get<qulonglong>()),
                            failed.isEmpty() ? QString() : " (" + failed.join(", ") + ")");
    if (p["mode"].is_string() || p["model"].is_string()) {
        text += QString("Mode %1, model %2%3%4.\n")
                    .arg(p["mode"].is_string() ? QString::fromStdString(p["mode"]) : QString("unknown"),
                         p["model"].is_string() ? QString::fromStdString(p["model"]) : QString("unknown"),
                         p["fatal"].get<bool>() ? QString(", fatal error") : QString(),
                         p["fals"].get<bool>() ? ", FALS " + QString::fromStdString(p["message"]) : QString());
    }
    const int last = p["lastResult"];
    text += QString("Last result %1%2 since %3. Response %4 ms, mean %5 ms, max %6 ms. Last good read %7. "
                    "Line %8 % busy.")
                .arg(QString::number(last),
                     last ? " (" + QString::fromStdString(p["lastText"]) + ")" : QString(),
                     clockTime(p["lastResultSince"]), number(p["responseLastMs"]), number(p["responseMeanMs"]),
                     number(p["responseMaxMs"]), clockTime(p["lastGoodRead"]), number(p["lineBusyPct"]));
    return text;
}

} // namespace

QString StatusDialog::figuresText() const { return figures_->text(); }

void StatusDialog::showFigures()
{
    const nlohmann::json all = linkFigures();
    if (plcs_) {
        for (Plc* plc : plcs_->plcs()) {
            auto* item = static_cast<QTreeWidgetItem*>(plc->statusItem);
            const auto mode = plc->health().snapshot().mode;
            if (item)
                item->setText(1, mode ? QString(modeName(*mode)) : QString());
        }
    }
    QTreeWidgetItem* current = tree_->currentItem();
    const ItemKind kind = kindOf(current);
    QString text;
    if (kind == RootItem || !current) {
        QStringList lines;
        for (const auto& l : all["lines"])
            lines << QString("%1: %2, %3 % busy").arg(QString::fromStdString(l["port"]),
                                                       l["open"].get<bool>() ? "open since " + clockTime(l["openSince"])
                                                                             : QString("closed"),
                                                       number(l["busyPct"]));
        text = lines.join("\n");
    } else {
        Plc* plc = plcOf(current);
        const std::string name = plc ? plc->name() : std::string();
        for (const auto& p : all["plcs"])
            if (p["plc"] == latin1ToUtf8(name))
                text = plcFigures(p);
        if (kind == BlockItem) {
            const std::string label = current->text(0).toStdString();
            for (const auto& b : all["blocks"]) {
                const std::string l = b["area"].get<std::string>() + std::to_string(b["first"].get<int>()) + "-LEN" +
                                      std::to_string(b["count"].get<int>());
                if (b["plc"] == latin1ToUtf8(name) && l == label)
                    text = QString("%1: asked every %2 ms, read every %3 ms on average, at most %4 ms (%5 reads).")
                               .arg(QString::fromStdString(label), QString::number(b["rateMs"].get<qulonglong>()),
                                    number(b["achievedMeanMs"]), number(b["achievedMaxMs"]),
                                    QString::number(b["reads"].get<qulonglong>()));
            }
        }
    }
    figures_->setText(text);
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
