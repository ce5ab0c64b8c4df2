// Reading a configuration file into the document: collections and tree together. Element names
// are compared in upper case, so branches come back with upper-case names.
#pragma once

#include <functional>
#include <string>

namespace pugi {
class xml_node;
}
class EditorDocument;
class Prompts;

// Called once per item read, with the loading bar's new value: 1, 2, ... 99, 0, 1, ...
using ImportProgress = std::function<void(int percent)>;

// Reads path into the document (which the caller prepared: collections and the root node).
// Returns false after an error that it reported itself (file missing, not well-formed, no root
// element), with " in ImportXML". Errors of single PLCs, branches and items are reported by
// BrowsePlc and BrowseBranch, which skip that part and go on.
bool ImportXML(EditorDocument& doc, const std::string& path, Prompts& prompts,
               const ImportProgress& progress = {});
// The same from text in memory (any encoding declaration pugixml understands).
bool ImportXMLText(EditorDocument& doc, const std::string& text, Prompts& prompts,
                   const ImportProgress& progress = {});

// What Open does around the import: new empty collections, an empty tree with only the root
// node (text path, tag and pictures "config", selected), then ImportXML. On success the counters
// become the collection counts + 1 and gbCfgOpen and gbCfgSaved are set; on failure the flags
// stay as they were. Returns ImportXML's result.
bool openConfigurationFile(EditorDocument& doc, const std::string& path, Prompts& prompts,
                           const ImportProgress& progress = {});

// One PLC element with everything below it.
void BrowsePlc(EditorDocument& doc, const pugi::xml_node& element, Prompts& prompts,
               const ImportProgress& progress, int& percent);
// One element below tags, recursively.
void BrowseBranch(EditorDocument& doc, const pugi::xml_node& element, const std::string& plcKey,
                  Prompts& prompts, const ImportProgress& progress, int& percent);

// For the parent element of a branch or tag: the names (upper case) of the branch elements from
// just below tags down to element, each followed by "."; empty for the tags element itself.
std::string XmlBranchPath(const pugi::xml_node& element);

// An element's name as the reading interface gives it: upper case.
std::string xmlTagName(const pugi::xml_node& element);
