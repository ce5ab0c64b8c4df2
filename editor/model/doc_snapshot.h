// A copy of everything an open document holds: the tree's nodes in tree order with all their
// properties, and the three collections in their own order. Restoring it gives back exactly
// that document, which is what undo and redo move between. Snapshots taken one after another
// share every node and object that did not change, so a long undo history of a large file
// costs little more than the changes themselves.
#pragma once

#include "editor/model/cls_branch.h"
#include "editor/model/cls_item.h"
#include "editor/model/cls_plc.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class EditorDocument;

struct DocSnapshot {
    struct Node {
        std::string parentKey; // "" for a top-level node (only the root has the key "")
        bool topLevel = false;
        std::string key, text, tag, image, selectedImage;
        bool expanded = false;
        bool sorted = false;
        bool operator==(const Node&) const = default;
    };
    template <class T>
    using Entries = std::vector<std::shared_ptr<const std::pair<std::string, T>>>;

    std::vector<std::shared_ptr<const Node>> nodes;
    Entries<clsPLC> plcs;
    Entries<clsBranch> branches;
    Entries<clsItem> items;
    std::string selectedKey; // where the selection was; not part of the content

    // The same document, whatever is selected.
    bool sameContent(const DocSnapshot& other) const;
};

// previous, when given, lends its unchanged parts.
DocSnapshot captureDocument(const EditorDocument& doc, const DocSnapshot* previous = nullptr);
// Replaces the document's tree and collections with the snapshot's; the selection goes back to
// the node it names (the root when that is gone).
void restoreDocument(EditorDocument& doc, const DocSnapshot& snapshot);
