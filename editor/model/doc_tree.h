// The document's configuration tree (the tree the main window shows as TreeView1). It owns
// the nodes; the window wraps it in an item model through TreeObserver and keeps no copy.
//
// Every node has a key (unique over the tree; the empty key means "no key", as the root has),
// a text, a tag ("config", "plc", "branch", "item"), a picture and a selected picture, an
// expanded flag and a sorted-children flag. Children keep their sibling order; a node whose
// sorted flag is set keeps its children in alphabetical order of text (letter case ignored,
// equal texts in order of arrival), also for nodes added or renamed later.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class DocTree;

class DocNode {
public:
    const std::string& key() const { return mKey; }
    const std::string& text() const { return mText; }
    const std::string& tag() const { return mTag; }
    const std::string& image() const { return mImage; }
    const std::string& selectedImage() const { return mSelectedImage; }
    bool expanded() const { return mExpanded; }
    bool sorted() const { return mSorted; }

    DocNode* parent() const { return mParent; }            // nullptr for a top-level node
    const std::vector<DocNode*>& children() const { return mChildren; }
    bool hasChildren() const { return !mChildren.empty(); }
    DocNode* firstChild() const { return mChildren.empty() ? nullptr : mChildren.front(); }
    DocNode* lastChild() const { return mChildren.empty() ? nullptr : mChildren.back(); }
    DocNode* nextSibling() const;                           // nullptr after the last
    int row() const { return mRow; }                        // index among its siblings

private:
    friend class DocTree;
    std::string mKey, mText, mTag, mImage, mSelectedImage;
    bool mExpanded = false;
    bool mSorted = false;
    DocNode* mParent = nullptr;
    std::vector<DocNode*> mChildren;
    int mRow = 0;
    std::list<std::unique_ptr<DocNode>>::iterator mSelf; // place in the addition order
    std::vector<DocNode*>* mSiblings = nullptr;          // the list holding this node
};

// Callbacks around every structural change, so that a Qt item model can emit begin/end
// signals. A parent of nullptr means the top level. Rows are sibling indexes.
class TreeObserver {
public:
    virtual ~TreeObserver() = default;
    virtual void nodeAboutToBeAdded(DocNode* /*parent*/, int /*row*/) {}
    virtual void nodeAdded(DocNode* /*node*/) {}
    // node and everything below it are about to go
    virtual void nodeAboutToBeRemoved(DocNode* /*node*/) {}
    virtual void nodeRemoved(DocNode* /*parent*/, int /*row*/) {}
    // key, text, tag, pictures, expanded or sorted flag changed
    virtual void nodeChanged(DocNode* /*node*/) {}
    // A move among the children of parent. destinationRow follows QAbstractItemModel::beginMoveRows:
    // the row before which the node goes, counted before the move (so moving down by one from
    // row r gives r + 2). After the move node->row() is the new row.
    virtual void nodeAboutToBeMoved(DocNode* /*parent*/, int /*fromRow*/, int /*destinationRow*/) {}
    virtual void nodeMoved(DocNode* /*node*/) {}
    virtual void treeAboutToBeCleared() {}
    virtual void treeCleared() {}
    virtual void selectionChanged(DocNode* /*selected*/) {}
};

class DocTree {
public:
    DocTree();
    ~DocTree();
    DocTree(const DocTree&) = delete;
    DocTree& operator=(const DocTree&) = delete;

    // Adds a node as the last child of parent (nullptr: top level), or in its sorted place when
    // the parent's sorted flag is set. Raises editor_err::kKeyNotUnique when key is not empty and
    // already used; nothing changes then.
    DocNode* add(DocNode* parent, const std::string& key, const std::string& text,
                 const std::string& tag, const std::string& image, const std::string& selectedImage);
    // Same, with the parent found by key; raises editor_err::kElementNotFound when it is not there.
    DocNode* addChild(const std::string& parentKey, const std::string& key, const std::string& text,
                      const std::string& tag, const std::string& image, const std::string& selectedImage);

    // Removes node and every node below it. A removed selected node clears the selection.
    void remove(DocNode* node);
    // Removes every node.
    void clear();

    DocNode* find(const std::string& key) const;          // nullptr when absent (also for "")
    DocNode& node(const std::string& key) const;          // raises editor_err::kElementNotFound
    bool containsKey(const std::string& key) const { return find(key) != nullptr; }

    // Raises editor_err::kKeyNotUnique when newKey is used by another node.
    void setKey(DocNode* node, const std::string& newKey);
    void setText(DocNode* node, const std::string& text); // keeps a sorted parent sorted
    void setTag(DocNode* node, const std::string& tag);
    void setImages(DocNode* node, const std::string& image, const std::string& selectedImage);
    void setExpanded(DocNode* node, bool expanded);
    // Setting the flag sorts the children now, and keeps them sorted.
    void setSorted(DocNode* node, bool sorted);
    // Expands every ancestor of node.
    void ensureVisible(DocNode* node);

    // The first top-level node: the "config" root of an open configuration; nullptr when empty.
    DocNode* root() const { return mTop.empty() ? nullptr : mTop.front(); }
    const std::vector<DocNode*>& topLevel() const { return mTop; }

    // Every node in order of addition (what the find window walks).
    std::vector<DocNode*> nodes() const;
    std::size_t count() const { return mAll.size(); }

    DocNode* selectedItem() const { return mSelected; }
    void setSelectedItem(DocNode* node);                   // nullptr clears the selection

    // True when ancestor is node itself or lies above it.
    static bool isAncestorOrSelf(const DocNode* ancestor, const DocNode* node);

    void addObserver(TreeObserver* observer);
    void removeObserver(TreeObserver* observer);

private:
    std::vector<DocNode*>& siblingsOf(DocNode* parent);
    int sortedInsertRow(DocNode* parent, const std::string& text, const DocNode* except) const;
    void renumber(std::vector<DocNode*>& siblings, int from);
    void moveWithinParent(DocNode* node, int toRow);
    void forgetSubtree(DocNode* node);

    std::list<std::unique_ptr<DocNode>> mAll;
    std::unordered_map<std::string, DocNode*> mByKey;
    std::vector<DocNode*> mTop;
    DocNode* mSelected = nullptr;
    std::vector<TreeObserver*> mObservers;
};
