// Items as CSV rows, one per item, with the columns
//   PLC,Branch,Name,Comment,Area,Address,Bit,Type,BCD,Elements,Access
// Branch is the path of branches below the PLC joined by "." (empty right under the PLC), Type
// the file's type word ("VT_I2", "VT_BOOL ARRAY" ...), BCD "BCD" or "BIN". Bit is given for
// boolean types, Elements for arrays and strings; both are empty otherwise. Text is UTF-8.
#pragma once

#include <string>
#include <vector>

class DocNode;
class EditorDocument;

const std::vector<std::string>& csvItemColumns();

// The header and every item below node, in tree order (the whole configuration for the root
// node or nullptr; the item itself for an item node).
std::string exportItemsCsv(const EditorDocument& doc, const DocNode* node = nullptr);

struct CsvImport {
    int added = 0;
    int replaced = 0;
    int branchesCreated = 0;
    std::vector<std::string> errors; // "line N: reason", in the order of the lines
    bool ok() const { return errors.empty(); }
    // "412 items added, 3 replaced, 2 branches created"
    std::string summary() const;
};

// Reads CSV text (comma- or semicolon-separated; the columns in any order) and checks every
// row as the item dialog and the name rules check an item: the PLC must exist, the name, area,
// type, bit, BCD, element count and access must be acceptable, and no key may be used twice,
// by the CSV's rows or by a branch. Only when every row passes are the missing branches
// created and the items added under them; an item whose key exists is replaced in place.
// When a row fails the document is left untouched.
CsvImport importItemsCsv(EditorDocument& doc, const std::string& text);
