// Writing the configuration file: ISO-8859-1 single-byte text, TAB indents, CR LF after every
// line. Text is escaped (&amp; &lt; &gt;, and &quot; in attribute values); a file without such
// characters is byte for byte the plain format.
#pragma once

#include <string>

class DocNode;
class EditorDocument;
class Prompts;

// Writes the open configuration to path: the PLCs from gcolPlcs, everything below each PLC
// from the tree. The text goes to a temporary file in the same folder, which replaces path only
// when it was written completely; on any failure path is untouched. A name or comment that the
// file can't carry (a character outside ISO-8859-1, a control character, a branch name that is
// not an XML element name) is refused before anything is written, with a message naming the
// object. Errors are shown with " in CreateXML". Returns true when the file was written.
bool CreateXML(EditorDocument& doc, const std::string& path, Prompts& prompts);

// Appends the children of node at level TABs (UTF-8 text; CreateXML converts to ISO-8859-1).
// On an error the rest of node's children are skipped, the error shown with " in PrintBranch",
// and false returned.
bool PrintBranch(std::string& out, const EditorDocument& doc, const DocNode& node, int level,
                 Prompts& prompts);

// The whole file as CreateXML writes it, in UTF-8 (ISO-8859-1 conversion not yet applied).
// Raises EditorError (nothing is shown) on the first error.
std::string exportText(const EditorDocument& doc);

// Checks that every object can be written; shows the message for the first that can't and
// returns false.
bool checkWritable(const EditorDocument& doc, Prompts& prompts);

std::string TabIndent(int n);
std::string xmlEscapeText(const std::string& text);
std::string xmlEscapeAttribute(const std::string& text);
