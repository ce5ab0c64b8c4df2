#include "editor/model/editor_document.h"

#include "editor/model/editor_error.h"

void EditorDocument::createCollections()
{
    gcolPlcs.clear();
    gcolBranches.clear();
    gcolItems.clear();
    mCollections = true;
}

void EditorDocument::dropCollections()
{
    gcolPlcs.clear();
    gcolBranches.clear();
    gcolItems.clear();
    mCollections = false;
}

void EditorDocument::resetClipboard()
{
    gaClipboard.emplace(1); // the single element 0, empty
}

void incrementCounter(std::int16_t& counter)
{
    if (counter == 32767)
        editor_err::raise(editor_err::kOverflow);
    ++counter;
}
