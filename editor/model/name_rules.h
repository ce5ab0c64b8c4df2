// Name rules of the editor: keys, duplicate names, forbidden characters, key rebuilding and the
// numeric keystroke filter; plus the checks that keep every name writable to the file.
#pragma once

#include <string>

class DocNode;
class DocTree;
class EditorDocument;
class Prompts;

// kind is a node tag ("plc", "branch", "item"). The reference node is the tree's selected node,
// or its parent when useParent. True when no child of that kind has the name (the selected
// node itself excepted); otherwise shows "Name already existing. Please use a different name".
// Errors are shown with " in CheckDuplNames" and give true.
bool CheckDuplNames(const std::string& kind, const std::string& name, const DocTree& tree,
                    bool useParent, Prompts& prompts);

// Key of node (or of its parent when useParent) + "." + name. Raises editor_err::kObjectNotSet
// for a null node (or a node without parent when useParent).
std::string MakeNodeKey(const std::string& name, const DocNode* node, bool useParent);

// After node's own key changed: rekeys every descendant in the tree and in gcolItems and
// gcolBranches, depth first.
void UpdateSubTreeKeys(EditorDocument& doc, DocNode* node);

// True when the name holds none of space . , : ; \ / |; otherwise shows the message for the
// first one found ("Character (,) not acceptable in string " + name) and returns false.
bool CheckNameChars(const std::string& name, Prompts& prompts);

// Keeps digits, "-", ".", space, backspace, tab, line feed and carriage return; 0 drops it.
int NumericKeyFilter(int keyAscii);

// Checks that keep the file readable. Each shows its own message and returns false on refusal.
// Every character representable in ISO-8859-1 and no control character (text is UTF-8):
//   "Character (X) can not be written to the configuration file in string " + text
bool CheckFileChars(const std::string& text, Prompts& prompts);
// A branch name written as an XML element name: not empty, begins with a letter or "_", then
// letters, digits, "-", "_" or "."; not "tag" or "tags" in any letter case; CheckFileChars as well.
bool CheckBranchName(const std::string& name, Prompts& prompts);

// The same checks without a message: the reason text, or "" when acceptable.
std::string nameCharsProblem(const std::string& name);
std::string fileCharsProblem(const std::string& text);
std::string branchNameProblem(const std::string& name);
