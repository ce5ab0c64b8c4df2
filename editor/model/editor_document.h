// The document state of the editor (module Generale): the three collections, the tree, the
// document flags, the default-name counters, the dialog flags and the internal clipboard.
// One object per running editor, owned by the main window and handed to every operation.
#pragma once

#include "editor/model/cls_branch.h"
#include "editor/model/cls_item.h"
#include "editor/model/cls_plc.h"
#include "editor/model/doc_tree.h"
#include "editor/model/keyed_collection.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class EditorDocument {
public:
    // The collections exist only while a configuration is open (createCollections by New and
    // Open, dropCollections by Close and Exit); while absent they are empty.
    KeyedCollection<clsPLC> gcolPlcs;
    KeyedCollection<clsBranch> gcolBranches;
    KeyedCollection<clsItem> gcolItems;

    DocTree TreeView1;

    bool gbCfgOpen = false;
    bool gbCfgSaved = false;

    std::int16_t gnPlcCount = 0;
    std::int16_t gnBranchCount = 0;
    std::int16_t gnItemCount = 0;

    bool gbPlcOk = false;
    bool gbBranchOk = false;
    bool gbItemOk = false;
    bool gbPlcModify = false;
    bool gbBranchModify = false;
    bool gbItemModify = false;
    bool gbFindLoaded = false;

    // The internal clipboard of copied items: references, used from index 1; index 0 never
    // holds anything. std::nullopt until the first InitObjects ("no bounds at all").
    std::optional<std::vector<std::shared_ptr<clsItem>>> gaClipboard;
    std::int16_t gnPasteCount = 0;
    bool gbReplaceYes = false;

    bool collectionsExist() const { return mCollections; }
    void createCollections();   // new, empty collections
    void dropCollections();     // empties them and marks them absent
    // Resets the internal clipboard to the single element 0, which holds nothing.
    void resetClipboard();

private:
    bool mCollections = false;
};

// Adds one to a 16-bit counter; raises editor_err::kOverflow past 32767 (counter unchanged).
void incrementCounter(std::int16_t& counter);
