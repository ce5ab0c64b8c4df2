#include "editor/model/cls_item.h"

#include "common/format_vocab.h"
#include "editor/model/doc_tree.h"
#include "editor/model/editor_error.h"
#include "editor/model/name_rules.h"
#include "editor/model/text_conv.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_import.h"
#include "editor/model/xml_read.h"

namespace {

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// At least width digits, zeros in front, sign before them.
std::string padded(long value, int width)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, width - digits.size(), '0');
    return value < 0 ? "-" + digits : digits;
}

} // namespace

std::string VtFromDataType(const std::string& dataType)
{
    const DataTypeEntry* e = dataTypeByEditorName(dataType);
    return (e && e->editorWrites) ? std::string(e->typeWord) : std::string();
}

std::string DataTypeFromVt(const std::string& typeWord)
{
    const DataTypeEntry* e = dataTypeByWord(typeWord);
    return e ? std::string(e->editorName) : std::string();
}

std::string parentKeyOf(const std::string& key)
{
    auto dot = key.rfind('.');
    return dot == std::string::npos ? std::string() : key.substr(0, dot);
}

void clsItem::SetByXml(const pugi::xml_node& element, const std::string& plcKey)
{
    sName = requiredChildText(element, "NAME");
    sComment = requiredChildText(element, "COMMENT");
    std::string channel = requiredChildText(element, "CHANNEL");
    sArea = leftChars(channel, 2);
    nAddress = toInt32(numericValue(midChars(channel, 2)));
    std::string datatype = requiredChildText(element, "DATATYPE");
    std::size_t length = charCount(datatype);
    bBcd = length >= 3 && datatype.compare(datatype.size() - 3, 3, "BCD") == 0;
    if (length < 4)
        editor_err::raise(editor_err::kInvalidCall);
    sDataType = DataTypeFromVt(leftChars(datatype, length - 4));
    pugi::xml_node databit = childByName(element, "DATABIT");
    nBitNumber = databit ? toInt16(numericValue(elementText(databit))) : 0;
    if (pugi::xml_node elements = childByName(element, "ELEMENTS"))
        nElements = toInt16(numericValue(elementText(elements)));
    sAccessRight = requiredChildText(element, "ACCESSRIGHTS");
    sKey = plcKey + "." + XmlBranchPath(element.parent()) + sName;
}

void clsItem::SetByForm(const ItemFormFields& form, const DocTree& tree, bool itemModify)
{
    sName = form.txtItemName;
    sComment = form.txtComment;
    sDataType = form.cmbDataType;
    if (contains(sDataType, "array") || sDataType == "string")
        nElements = toInt16(numericValue(form.txtElements));
    nAddress = toInt32(numericValue(form.txtAddress));
    sArea = form.cmbArea;
    nBitNumber = contains(sDataType, "boolean") ? toInt16(numericValue(form.txtBit)) : 0;
    bBcd = form.chkBcd;
    sAccessRight = form.cmbAccessRight;
    sKey = MakeNodeKey(sName, tree.selectedItem(), itemModify);
}

void clsItem::SetByCopy(const clsItem& source, const std::string& parentKey, std::int16_t pasteCount)
{
    sName = source.sName;
    if (source.getParentKey() == parentKey)
        sName += "_" + std::to_string(pasteCount);
    sComment = source.sComment;
    sDataType = source.sDataType;
    nElements = source.nElements;
    nAddress = source.nAddress;
    sArea = source.sArea;
    nBitNumber = source.nBitNumber;
    bBcd = source.bBcd;
    sAccessRight = source.sAccessRight;
    sKey = parentKey + "." + sName;
}

std::string clsItem::GetXmlTag(int level) const
{
    const std::string tabs = TabIndent(level);
    const std::string inner = tabs + "\t";
    const std::string word = VtFromDataType(sDataType);
    std::string s;
    s.reserve(256);
    s += tabs + "<tag>\r\n";
    s += inner + "<name>" + xmlEscapeText(sName) + "</name>\r\n";
    s += inner + "<comment>" + xmlEscapeText(sComment) + "</comment>\r\n";
    s += inner + "<channel>" + xmlEscapeText(sArea) + std::to_string(nAddress) + "</channel>\r\n";
    s += inner + "<datatype>" + word + (bBcd ? "/BCD" : "/BIN") + "</datatype>\r\n";
    s += inner + "<accessrights>" + xmlEscapeText(sAccessRight) + "</accessrights>\r\n";
    if (contains(word, "VT_BOOL"))
        s += inner + "<databit>" + std::to_string(nBitNumber) + "</databit>\r\n";
    if (contains(word, "VT_BSTR") || contains(word, "ARRAY"))
        s += inner + "<elements>" + std::to_string(nElements) + "</elements>\r\n";
    s += tabs + "</tag>";
    return s;
}

ListRow clsItem::AddToListView(bool bIndex) const
{
    ListRow row;
    row.key = sKey;
    std::string address = padded(nAddress, 4);
    if (contains(sDataType, "boolean"))
        address += "/BIT" + padded(nBitNumber, 2);
    if (contains(sDataType, "array") || sDataType == "string")
        address += "/LEN" + std::to_string(nElements);
    row.texts = {sName, sComment, sDataType, address, sAccessRight};
    if (bIndex)
        row.texts.push_back(sArea + padded(nAddress, 4) + padded(nBitNumber, 2));
    auto arrayAt = sDataType.find(" array");
    row.largePicture = arrayAt == std::string::npos ? sDataType : sDataType.substr(0, arrayAt);
    row.smallPicture = "item";
    return row;
}

std::string clsItem::getParentKey() const { return parentKeyOf(sKey); }
