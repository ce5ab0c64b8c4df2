#include "editor/model/doc_snapshot.h"

#include "editor/model/editor_document.h"

#include <unordered_map>

namespace {

template <class P>
bool sameParts(const std::vector<P>& a, const std::vector<P>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && !(*a[i] == *b[i]))
            return false;
    return true;
}

// The previous snapshot's part for a key, when it still equals the current one.
template <class T, class Key>
std::shared_ptr<const T> reuse(const std::unordered_map<std::string, std::shared_ptr<const T>>& previous,
                               const Key& key, const T& now)
{
    auto it = previous.find(key);
    if (it != previous.end() && *it->second == now)
        return it->second;
    return std::make_shared<const T>(now);
}

void captureNode(const DocNode& node, const std::unordered_map<std::string, std::shared_ptr<const DocSnapshot::Node>>& previous,
                 DocSnapshot& out)
{
    DocSnapshot::Node n{node.parent() ? node.parent()->key() : std::string(), node.parent() == nullptr,
                        node.key(), node.text(), node.tag(), node.image(), node.selectedImage(),
                        node.expanded(), node.sorted()};
    out.nodes.push_back(reuse(previous, node.key(), n));
    for (const DocNode* child : node.children())
        captureNode(*child, previous, out);
}

template <class T>
void captureCollection(const KeyedCollection<T>& collection, const DocSnapshot::Entries<T>* previous,
                       DocSnapshot::Entries<T>& out)
{
    using Part = std::pair<std::string, T>;
    std::unordered_map<std::string, std::shared_ptr<const Part>> before;
    if (previous)
        for (const auto& p : *previous)
            before.emplace(p->first, p);
    out.reserve(collection.count());
    for (const auto& entry : collection)
        out.push_back(reuse(before, entry.key, Part(entry.key, *entry.value)));
}

template <class T>
void restoreCollection(KeyedCollection<T>& collection, const DocSnapshot::Entries<T>& from)
{
    for (const auto& part : from)
        collection.add(part->first, std::make_shared<T>(part->second));
}

} // namespace

bool DocSnapshot::sameContent(const DocSnapshot& other) const
{
    return sameParts(nodes, other.nodes) && sameParts(plcs, other.plcs) && sameParts(branches, other.branches) &&
           sameParts(items, other.items);
}

DocSnapshot captureDocument(const EditorDocument& doc, const DocSnapshot* previous)
{
    DocSnapshot out;
    std::unordered_map<std::string, std::shared_ptr<const DocSnapshot::Node>> nodesBefore;
    if (previous)
        for (const auto& n : previous->nodes)
            nodesBefore.emplace(n->key, n);
    for (const DocNode* top : doc.TreeView1.topLevel())
        captureNode(*top, nodesBefore, out);
    captureCollection(doc.gcolPlcs, previous ? &previous->plcs : nullptr, out.plcs);
    captureCollection(doc.gcolBranches, previous ? &previous->branches : nullptr, out.branches);
    captureCollection(doc.gcolItems, previous ? &previous->items : nullptr, out.items);
    if (const DocNode* selected = doc.TreeView1.selectedItem())
        out.selectedKey = selected->key();
    return out;
}

void restoreDocument(EditorDocument& doc, const DocSnapshot& snapshot)
{
    doc.createCollections();
    restoreCollection(doc.gcolPlcs, snapshot.plcs);
    restoreCollection(doc.gcolBranches, snapshot.branches);
    restoreCollection(doc.gcolItems, snapshot.items);
    DocTree& tree = doc.TreeView1;
    tree.clear();
    std::unordered_map<std::string, DocNode*> made;
    std::vector<DocNode*> order;
    order.reserve(snapshot.nodes.size());
    for (const auto& n : snapshot.nodes) {
        DocNode* parent = n->topLevel ? nullptr : made.at(n->parentKey);
        DocNode* node = tree.add(parent, n->key, n->text, n->tag, n->image, n->selectedImage);
        made[n->key] = node;
        order.push_back(node);
    }
    // Flags only once every node is in its place: a sorted flag set earlier would re-sort while
    // the children arrive (they come in their sorted order anyway).
    for (std::size_t i = 0; i < order.size(); ++i) {
        tree.setExpanded(order[i], snapshot.nodes[i]->expanded);
        if (snapshot.nodes[i]->sorted)
            tree.setSorted(order[i], true);
    }
    DocNode* selected = tree.find(snapshot.selectedKey);
    tree.setSelectedItem(selected ? selected : tree.root());
}
