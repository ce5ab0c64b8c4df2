#include "editor/model/doc_tree.h"

#include "editor/model/editor_error.h"

#include <algorithm>

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Alphabetical order of node texts, letter case ignored, as the tree control sorts.
int compareText(const std::string& a, const std::string& b)
{
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(lowerAscii(a[i]));
        auto cb = static_cast<unsigned char>(lowerAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

DocNode* DocNode::nextSibling() const
{
    if (!mSiblings || mRow + 1 >= static_cast<int>(mSiblings->size()))
        return nullptr;
    return (*mSiblings)[mRow + 1];
}

DocTree::DocTree() = default;
DocTree::~DocTree() = default;

std::vector<DocNode*>& DocTree::siblingsOf(DocNode* parent)
{
    return parent ? parent->mChildren : mTop;
}

void DocTree::renumber(std::vector<DocNode*>& siblings, int from)
{
    for (int i = std::max(from, 0); i < static_cast<int>(siblings.size()); ++i)
        siblings[i]->mRow = i;
}

int DocTree::sortedInsertRow(DocNode* parent, const std::string& text, const DocNode* except) const
{
    const auto& siblings = parent ? parent->mChildren : mTop;
    int row = 0;
    for (DocNode* n : siblings) {
        if (n == except)
            continue;
        if (compareText(text, n->mText) < 0)
            break;
        ++row;
    }
    return row;
}

DocNode* DocTree::add(DocNode* parent, const std::string& key, const std::string& text,
                      const std::string& tag, const std::string& image, const std::string& selectedImage)
{
    if (!key.empty() && mByKey.count(key))
        editor_err::raise(editor_err::kKeyNotUnique);
    auto& siblings = siblingsOf(parent);
    int row = (parent && parent->mSorted) ? sortedInsertRow(parent, text, nullptr)
                                          : static_cast<int>(siblings.size());
    for (auto* o : mObservers)
        o->nodeAboutToBeAdded(parent, row);
    auto owned = std::make_unique<DocNode>();
    DocNode* node = owned.get();
    node->mKey = key;
    node->mText = text;
    node->mTag = tag;
    node->mImage = image;
    node->mSelectedImage = selectedImage;
    node->mParent = parent;
    node->mSiblings = &siblings;
    mAll.push_back(std::move(owned));
    node->mSelf = std::prev(mAll.end());
    siblings.insert(siblings.begin() + row, node);
    renumber(siblings, row);
    if (!key.empty())
        mByKey.emplace(key, node);
    for (auto* o : mObservers)
        o->nodeAdded(node);
    return node;
}

DocNode* DocTree::addChild(const std::string& parentKey, const std::string& key, const std::string& text,
                           const std::string& tag, const std::string& image, const std::string& selectedImage)
{
    return add(&node(parentKey), key, text, tag, image, selectedImage);
}

void DocTree::forgetSubtree(DocNode* node)
{
    for (DocNode* child : node->mChildren)
        forgetSubtree(child);
    node->mChildren.clear();
    if (!node->mKey.empty()) {
        auto it = mByKey.find(node->mKey);
        if (it != mByKey.end() && it->second == node)
            mByKey.erase(it);
    }
    mAll.erase(node->mSelf); // destroys node
}

void DocTree::remove(DocNode* node)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    for (auto* o : mObservers)
        o->nodeAboutToBeRemoved(node);
    bool selectionGone = mSelected && isAncestorOrSelf(node, mSelected);
    if (selectionGone)
        mSelected = nullptr;
    DocNode* parent = node->mParent;
    auto& siblings = siblingsOf(parent);
    int row = node->mRow;
    siblings.erase(siblings.begin() + row);
    renumber(siblings, row);
    forgetSubtree(node);
    for (auto* o : mObservers)
        o->nodeRemoved(parent, row);
    if (selectionGone)
        for (auto* o : mObservers)
            o->selectionChanged(nullptr);
}

void DocTree::clear()
{
    for (auto* o : mObservers)
        o->treeAboutToBeCleared();
    bool hadSelection = mSelected != nullptr;
    mSelected = nullptr;
    mTop.clear();
    mByKey.clear();
    mAll.clear();
    for (auto* o : mObservers)
        o->treeCleared();
    if (hadSelection)
        for (auto* o : mObservers)
            o->selectionChanged(nullptr);
}

DocNode* DocTree::find(const std::string& key) const
{
    if (key.empty())
        return nullptr;
    auto it = mByKey.find(key);
    return it == mByKey.end() ? nullptr : it->second;
}

DocNode& DocTree::node(const std::string& key) const
{
    DocNode* n = find(key);
    if (!n)
        editor_err::raise(editor_err::kElementNotFound);
    return *n;
}

void DocTree::setKey(DocNode* node, const std::string& newKey)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    if (node->mKey == newKey)
        return;
    if (!newKey.empty()) {
        auto it = mByKey.find(newKey);
        if (it != mByKey.end() && it->second != node)
            editor_err::raise(editor_err::kKeyNotUnique);
    }
    if (!node->mKey.empty())
        mByKey.erase(node->mKey);
    node->mKey = newKey;
    if (!newKey.empty())
        mByKey.emplace(newKey, node);
    for (auto* o : mObservers)
        o->nodeChanged(node);
}

void DocTree::moveWithinParent(DocNode* node, int toRow)
{
    int from = node->mRow;
    if (from == toRow)
        return;
    auto& siblings = *node->mSiblings;
    int destination = toRow > from ? toRow + 1 : toRow;
    for (auto* o : mObservers)
        o->nodeAboutToBeMoved(node->mParent, from, destination);
    siblings.erase(siblings.begin() + from);
    siblings.insert(siblings.begin() + toRow, node);
    renumber(siblings, std::min(from, toRow));
    for (auto* o : mObservers)
        o->nodeMoved(node);
}

void DocTree::setText(DocNode* node, const std::string& text)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    node->mText = text;
    for (auto* o : mObservers)
        o->nodeChanged(node);
    if (node->mParent && node->mParent->mSorted)
        moveWithinParent(node, sortedInsertRow(node->mParent, text, node));
}

void DocTree::setTag(DocNode* node, const std::string& tag)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    node->mTag = tag;
    for (auto* o : mObservers)
        o->nodeChanged(node);
}

void DocTree::setImages(DocNode* node, const std::string& image, const std::string& selectedImage)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    node->mImage = image;
    node->mSelectedImage = selectedImage;
    for (auto* o : mObservers)
        o->nodeChanged(node);
}

void DocTree::setExpanded(DocNode* node, bool expanded)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    if (node->mExpanded == expanded)
        return;
    node->mExpanded = expanded;
    for (auto* o : mObservers)
        o->nodeChanged(node);
}

void DocTree::setSorted(DocNode* node, bool sorted)
{
    if (!node)
        editor_err::raise(editor_err::kObjectNotSet);
    if (node->mSorted != sorted) {
        node->mSorted = sorted;
        for (auto* o : mObservers)
            o->nodeChanged(node);
    }
    if (!sorted)
        return;
    std::vector<DocNode*> order = node->mChildren;
    std::stable_sort(order.begin(), order.end(),
                     [](const DocNode* a, const DocNode* b) { return compareText(a->mText, b->mText) < 0; });
    for (int i = 0; i < static_cast<int>(order.size()); ++i)
        moveWithinParent(order[i], i);
}

void DocTree::ensureVisible(DocNode* node)
{
    for (DocNode* p = node ? node->mParent : nullptr; p; p = p->mParent)
        setExpanded(p, true);
}

std::vector<DocNode*> DocTree::nodes() const
{
    std::vector<DocNode*> out;
    out.reserve(mAll.size());
    for (const auto& n : mAll)
        out.push_back(n.get());
    return out;
}

void DocTree::setSelectedItem(DocNode* node)
{
    if (mSelected == node)
        return;
    mSelected = node;
    for (auto* o : mObservers)
        o->selectionChanged(node);
}

bool DocTree::isAncestorOrSelf(const DocNode* ancestor, const DocNode* node)
{
    for (const DocNode* n = node; n; n = n->mParent)
        if (n == ancestor)
            return true;
    return false;
}

void DocTree::addObserver(TreeObserver* observer)
{
    if (observer && std::find(mObservers.begin(), mObservers.end(), observer) == mObservers.end())
        mObservers.push_back(observer);
}

void DocTree::removeObserver(TreeObserver* observer)
{
    mObservers.erase(std::remove(mObservers.begin(), mObservers.end(), observer), mObservers.end());
}
