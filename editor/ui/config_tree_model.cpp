#include "editor/ui/config_tree_model.h"

#include "editor/ui/pictures.h"

#include <QApplication>
#include <QBrush>
#include <QPalette>

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

ConfigTreeModel::ConfigTreeModel(DocTree& tree, QObject* parent) : QAbstractItemModel(parent), mTree(&tree)
{
    mTree->addObserver(this);
}

ConfigTreeModel::~ConfigTreeModel() { detach(); }

void ConfigTreeModel::detach()
{
    if (!mTree)
        return;
    mTree->removeObserver(this);
    beginResetModel();
    mTree = nullptr;
    mHighlight = nullptr;
    endResetModel();
}

QModelIndex ConfigTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!mTree || column != 0 || row < 0)
        return {};
    const std::vector<DocNode*>& siblings = parent.isValid() ? nodeOf(parent)->children() : mTree->topLevel();
    if (row >= static_cast<int>(siblings.size()))
        return {};
    return createIndex(row, 0, siblings[static_cast<size_t>(row)]);
}

QModelIndex ConfigTreeModel::parent(const QModelIndex& child) const
{
    DocNode* node = nodeOf(child);
    if (!node || !node->parent())
        return {};
    return createIndex(node->parent()->row(), 0, node->parent());
}

int ConfigTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!mTree)
        return 0;
    if (!parent.isValid())
        return static_cast<int>(mTree->topLevel().size());
    if (parent.column() != 0)
        return 0;
    return static_cast<int>(nodeOf(parent)->children().size());
}

int ConfigTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant ConfigTreeModel::data(const QModelIndex& index, int role) const
{
    const DocNode* node = nodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return qs(node->text());
    case Qt::DecorationRole:
        return pictures::treePicture(qs(node->image()));
    case Qt::BackgroundRole:
        if (node == mHighlight)
            return QApplication::palette().brush(QPalette::Highlight);
        return {};
    case Qt::ForegroundRole:
        if (node == mHighlight)
            return QApplication::palette().brush(QPalette::HighlightedText);
        return {};
    case KeyRole:
        return qs(node->key());
    case TagRole:
        return qs(node->tag());
    default:
        return {};
    }
}

Qt::ItemFlags ConfigTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
}

QModelIndex ConfigTreeModel::indexOf(const DocNode* node) const
{
    if (!node || !mTree)
        return {};
    return createIndex(node->row(), 0, const_cast<DocNode*>(node));
}

DocNode* ConfigTreeModel::nodeOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<DocNode*>(index.internalPointer()) : nullptr;
}

void ConfigTreeModel::setDropHighlight(DocNode* node)
{
    if (node == mHighlight)
        return;
    DocNode* before = mHighlight;
    mHighlight = node;
    for (DocNode* changed : {before, node})
        if (changed) {
            QModelIndex at = indexOf(changed);
            emit dataChanged(at, at, {Qt::BackgroundRole, Qt::ForegroundRole});
        }
}

void ConfigTreeModel::nodeAboutToBeAdded(DocNode* parent, int row)
{
    beginInsertRows(indexOf(parent), row, row);
}

void ConfigTreeModel::nodeAdded(DocNode* node)
{
    endInsertRows();
    emit nodeFlagsChanged(node);
}

void ConfigTreeModel::nodeAboutToBeRemoved(DocNode* node)
{
    if (mHighlight && DocTree::isAncestorOrSelf(node, mHighlight))
        mHighlight = nullptr;
    emit nodeAboutToGo(node);
    beginRemoveRows(indexOf(node->parent()), node->row(), node->row());
}

void ConfigTreeModel::nodeRemoved(DocNode*, int) { endRemoveRows(); }

void ConfigTreeModel::nodeChanged(DocNode* node)
{
    QModelIndex at = indexOf(node);
    emit dataChanged(at, at);
    emit nodeFlagsChanged(node);
}

void ConfigTreeModel::nodeAboutToBeMoved(DocNode* parent, int fromRow, int destinationRow)
{
    QModelIndex at = indexOf(parent);
    beginMoveRows(at, fromRow, fromRow, at, destinationRow);
}

void ConfigTreeModel::nodeMoved(DocNode*) { endMoveRows(); }

void ConfigTreeModel::treeAboutToBeCleared()
{
    mHighlight = nullptr;
    emit nodeAboutToGo(nullptr);
    beginResetModel();
}

void ConfigTreeModel::treeCleared() { endResetModel(); }

void ConfigTreeModel::selectionChanged(DocNode* selected)
{
    emit selectedNodeChanged(selected);
}
