// The item model of TreeView1: a view of the document's DocTree, driven by the tree's observer
// callbacks, holding no copy of it. Index internal pointers are the DocNode objects.
#pragma once

#include "editor/model/doc_tree.h"

#include <QAbstractItemModel>

class ConfigTreeModel : public QAbstractItemModel, private TreeObserver {
    Q_OBJECT
public:
    explicit ConfigTreeModel(DocTree& tree, QObject* parent = nullptr);
    ~ConfigTreeModel() override;

    // Stops following the tree (before the tree goes away).
    void detach();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QModelIndex indexOf(const DocNode* node) const;
    static DocNode* nodeOf(const QModelIndex& index);

    void setDropHighlight(DocNode* node);
    DocNode* dropHighlight() const { return mHighlight; }

    enum Roles { KeyRole = Qt::UserRole + 1, TagRole };

signals:
    // The tree's selected node changed (nullptr: none).
    void selectedNodeChanged(DocNode* node);
    // A node's expanded flag may have changed.
    void nodeFlagsChanged(DocNode* node);
    // node and everything below it are about to be removed.
    void nodeAboutToGo(DocNode* node);

private:
    void nodeAboutToBeAdded(DocNode* parent, int row) override;
    void nodeAdded(DocNode* node) override;
    void nodeAboutToBeRemoved(DocNode* node) override;
    void nodeRemoved(DocNode* parent, int row) override;
    void nodeChanged(DocNode* node) override;
    void nodeAboutToBeMoved(DocNode* parent, int fromRow, int destinationRow) override;
    void nodeMoved(DocNode* node) override;
    void treeAboutToBeCleared() override;
    void treeCleared() override;
    void selectionChanged(DocNode* selected) override;

    DocTree* mTree;
    DocNode* mHighlight = nullptr;
};
