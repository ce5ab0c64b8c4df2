// One item (tag) of the configuration.
#pragma once

#include "editor/model/list_row.h"

#include <cstdint>
#include <string>

namespace pugi {
class xml_node;
}
class DocTree;

// The item dialog's controls as the dialog hands them over.
struct ItemFormFields {
    std::string txtItemName;
    std::string txtComment;
    std::string cmbDataType;
    std::string txtElements;
    std::string txtAddress;
    std::string cmbArea;
    std::string txtBit;
    bool chkBcd = false;
    std::string cmbAccessRight;
};

class clsItem {
public:
    std::string sArea;
    std::string sKey;
    bool bBcd = false;
    std::int16_t nElements = 0;
    std::int16_t nBitNumber = 0;
    std::string sDataType;
    std::string sAccessRight;
    std::string sComment;
    std::int32_t nAddress = 0;
    std::string sName;

    // element is a tag element. Raises EditorError for a missing name, comment, channel,
    // datatype or accessrights child, for a datatype shorter than four characters, and
    // editor_err::kOverflow for a number too large for its field.
    void SetByXml(const pugi::xml_node& element, const std::string& plcKey);
    // sKey from the tree's selected node by MakeNodeKey (its parent's key when itemModify).
    // Raises editor_err::kObjectNotSet when the tree has no selected node.
    void SetByForm(const ItemFormFields& form, const DocTree& tree, bool itemModify);
    // Copies source for pasting under parentKey; in the source's own parent the name gets
    // "_" + pasteCount.
    void SetByCopy(const clsItem& source, const std::string& parentKey, std::int16_t pasteCount);
    // The tag element, level TABs before "<tag>", lines separated by CR LF, no final line end.
    std::string GetXmlTag(int level) const;
    // Columns: name, comment, data type, address text, access right, and with bIndex the index.
    ListRow AddToListView(bool bIndex) const;
    std::string getParentKey() const;

public:
    bool operator==(const clsItem&) const = default;
};

// Type word for one of the fifteen names the editor writes; "" for any other name.
std::string VtFromDataType(const std::string& dataType);
// Editor name for a type word, the four "VT_BCD" words included; "" for any other word.
std::string DataTypeFromVt(const std::string& typeWord);
// Parent key rule: the key without its last "." and what follows; "" without a ".".
std::string parentKeyOf(const std::string& key);
