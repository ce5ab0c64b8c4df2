#include "editor/model/csv_items.h"

#include "common/format_vocab.h"
#include "editor/model/csv_text.h"
#include "editor/model/editor_document.h"
#include "editor/model/name_rules.h"
#include "editor/model/text_conv.h"

#include <array>
#include <map>
#include <optional>

namespace {

enum Column { kPlc, kBranch, kName, kComment, kArea, kAddress, kBit, kType, kBcd, kElements, kAccess, kColumns };

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }
bool hasBit(const std::string& dataType) { return contains(dataType, "boolean"); }
bool hasElements(const std::string& dataType) { return contains(dataType, "array") || dataType == "string"; }

std::string trimmed(const std::string& s)
{
    const std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// ---- export ----

void exportBelow(std::string& out, const EditorDocument& doc, const DocNode& node, const std::string& plc,
                 const std::string& branch)
{
    if (node.tag() == "item") {
        const clsItem& item = *doc.gcolItems.item(node.key());
        out += csvLine({plc, branch, item.sName, item.sComment, item.sArea, std::to_string(item.nAddress),
                        hasBit(item.sDataType) ? std::to_string(item.nBitNumber) : std::string(),
                        VtFromDataType(item.sDataType), item.bBcd ? "BCD" : "BIN",
                        hasElements(item.sDataType) ? std::to_string(item.nElements) : std::string(),
                        item.sAccessRight});
        return;
    }
    for (const DocNode* child : node.children()) {
        if (child->tag() == "plc")
            exportBelow(out, doc, *child, child->text(), "");
        else if (child->tag() == "branch")
            exportBelow(out, doc, *child, plc, branch.empty() ? child->text() : branch + "." + child->text());
        else
            exportBelow(out, doc, *child, plc, branch);
    }
}

// ---- import: one row checked ----

struct Row {
    int line = 0;
    std::string plc;
    std::vector<std::string> branches;
    clsItem item;
};

// A whole decimal number within [low, high]; nullopt otherwise.
std::optional<long> decimal(const std::string& text, long low, long high)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long value = std::stol(text);
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

// A number that only some types use (bit, element count): required for those, empty or 0 for
// the others, which keep 0.
std::string typeField(const std::string& text, bool used, long high, const std::string& field,
                      const char* notValid, const std::string& unused, std::int16_t& value)
{
    if (!used)
        return text.empty() || text == "0" ? std::string() : unused;
    if (text.empty())
        return field + " field is empty.";
    const auto number = decimal(text, 0, high);
    if (!number)
        return field + notValid;
    value = static_cast<std::int16_t>(*number);
    return {};
}

// The row's values as an item, or the reason it can't be one. Messages of the item dialog's
// field check where there is one.
std::string readRow(const std::vector<std::string>& f, Row& row)
{
    clsItem& item = row.item;
    row.plc = f[kPlc];
    if (row.plc.empty())
        return "the PLC is empty";
    const std::string branch = f[kBranch];
    if (!branch.empty()) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t dot = branch.find('.', start);
            std::string name = branch.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            if (std::string p = branchNameProblem(name); !p.empty())
                return name.empty() ? "the branch path " + branch + " has an empty branch name" : p;
            row.branches.push_back(std::move(name));
            if (dot == std::string::npos)
                break;
            start = dot + 1;
        }
    }
    item.sName = f[kName];
    if (item.sName.empty())
        return "Item name field is empty.";
    for (const std::string& p : {nameCharsProblem(item.sName), fileCharsProblem(item.sName)})
        if (!p.empty())
            return p;
    item.sComment = f[kComment];
    if (std::string p = fileCharsProblem(item.sComment); !p.empty())
        return p;

    item.sArea = upperCase(trimmed(f[kArea]));
    if (areaFromPrefix(item.sArea) == MemoryArea::None)
        return "area " + f[kArea] + " is not one of DM, LR, HR, AR, IR, TC, TG";

    const std::string address = trimmed(f[kAddress]);
    if (address.empty())
        return "Address field is empty.";
    const auto addressValue = decimal(address, 0, 65535);
    if (!addressValue)
        return "Address field is not valid. It must be between 0 and 65535.";
    item.nAddress = static_cast<std::int32_t>(*addressValue);

    const std::string word = upperCase(trimmed(f[kType]));
    const DataTypeEntry* type = dataTypeByWord(word);
    if (!type)
        return "type " + f[kType] + " is not a type word (VT_I2, VT_BOOL ARRAY ...)";
    if (!type->editorWrites)
        return "type " + word + " is only read by the editor; give the type word with BCD instead";
    item.sDataType = std::string(type->editorName);
    const bool timerArea = item.sArea == "TC", flagArea = item.sArea == "TG";
    if ((timerArea && item.sDataType != "unsigned 16 bit" && item.sDataType != "unsigned 16 bit array") ||
        (flagArea && !hasBit(item.sDataType)))
        return "type " + word + " is not offered for area " + item.sArea;

    const std::string bcd = upperCase(trimmed(f[kBcd]));
    if (bcd != "BCD" && bcd != "BIN")
        return "BCD must be BCD or BIN, not " + f[kBcd];
    item.bBcd = bcd == "BCD";
    if (item.bBcd && !contains(item.sDataType, "signed"))
        return "BCD coding is only for integer types, not " + word;
    if (!item.bBcd && timerArea)
        return "area TC holds BCD values: BCD must be BCD";

    if (std::string p = typeField(trimmed(f[kBit]), hasBit(item.sDataType), 15, "Bit number",
                                  " field is not valid. It must be between 0 and 15.",
                                  "Bit number is only for boolean types, not " + word, item.nBitNumber);
        !p.empty())
        return p;
    if (std::string p = typeField(trimmed(f[kElements]), hasElements(item.sDataType), 32767, "Number of elements",
                                  " field is not valid.",
                                  "Number of elements is only for arrays and strings, not " + word, item.nElements);
        !p.empty())
        return p;

    item.sAccessRight = upperCase(trimmed(f[kAccess]));
    if (accessRightsFromWord(item.sAccessRight) == 0)
        return "access " + f[kAccess] + " is not READ, WRITE or READWRITE";
    return {};
}

// The header's columns in their place; the reason when it can't be read.
std::string readHeader(const std::vector<std::string>& fields, std::array<int, kColumns>& place)
{
    place.fill(-1);
    const auto& names = csvItemColumns();
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        const std::string name = upperCase(trimmed(fields[i]));
        int column = -1;
        for (int c = 0; c < kColumns; ++c)
            if (upperCase(names[c]) == name)
                column = c;
        if (column < 0) {
            const std::string known = csvLine(names);
            return "column " + fields[i] + " is not one of " + known.substr(0, known.size() - 2);
        }
        if (place[column] >= 0)
            return "column " + names[column] + " is given twice";
        place[column] = i;
    }
    for (int c = 0; c < kColumns; ++c)
        if (place[c] < 0)
            return "column " + names[c] + " is missing";
    return {};
}

std::string lineError(int line, const std::string& reason) { return "line " + std::to_string(line) + ": " + reason; }

} // namespace

const std::vector<std::string>& csvItemColumns()
{
    static const std::vector<std::string> columns = {"PLC",  "Branch", "Name", "Comment",  "Area",  "Address",
                                                     "Bit",  "Type",   "BCD",  "Elements", "Access"};
    return columns;
}

std::string exportItemsCsv(const EditorDocument& doc, const DocNode* node)
{
    std::string out = csvLine(csvItemColumns());
    if (!node)
        node = doc.TreeView1.root();
    if (!node)
        return out;
    // The PLC and the branch path above node.
    std::string plc, branch;
    for (const DocNode* n = node->tag() == "item" ? node->parent() : node; n; n = n->parent()) {
        if (n->tag() == "plc")
            plc = n->text();
        else if (n->tag() == "branch")
            branch = branch.empty() ? n->text() : n->text() + "." + branch;
    }
    exportBelow(out, doc, *node, plc, branch);
    return out;
}

std::string CsvImport::summary() const
{
    return std::to_string(added) + (added == 1 ? " item" : " items") + " added, " + std::to_string(replaced) +
           " replaced, " + std::to_string(branchesCreated) + (branchesCreated == 1 ? " branch" : " branches") +
           " created";
}

CsvImport importItemsCsv(EditorDocument& doc, const std::string& input)
{
    CsvImport result;
    // Spreadsheets often begin UTF-8 text with a byte order mark.
    const std::string text = input.rfind("\xEF\xBB\xBF", 0) == 0 ? input.substr(3) : input;
    std::vector<CsvRecord> records;
    CsvSyntaxError syntax;
    if (!parseCsv(text, csvDelimiter(text.substr(0, text.find('\n'))), records, syntax)) {
        result.errors.push_back(lineError(syntax.line, syntax.reason));
        return result;
    }
    if (records.empty()) {
        result.errors.push_back(lineError(1, "the header row is missing"));
        return result;
    }
    std::array<int, kColumns> place{};
    if (std::string p = readHeader(records[0].fields, place); !p.empty()) {
        result.errors.push_back(lineError(records[0].line, p));
        return result;
    }

    // Every row is checked against the document and the rows before it.
    const DocTree& tree = doc.TreeView1;
    std::vector<Row> rows;
    std::map<std::string, int> itemLines;   // key of each row's item -> its line
    std::map<std::string, int> newBranches; // branches to create -> first line asking for it
    for (std::size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        if (record.fields.size() != records[0].fields.size()) {
            result.errors.push_back(lineError(record.line, std::to_string(record.fields.size()) +
                                                                " fields where the header has " +
                                                                std::to_string(records[0].fields.size())));
            continue;
        }
        std::vector<std::string> fields(kColumns);
        for (int c = 0; c < kColumns; ++c)
            fields[c] = record.fields[static_cast<std::size_t>(place[c])];
        Row row;
        row.line = record.line;
        std::string problem = readRow(fields, row);
        const DocNode* plcNode = problem.empty() ? tree.find(row.plc) : nullptr;
        if (problem.empty() && (!plcNode || plcNode->tag() != "plc" || !doc.gcolPlcs.contains(row.plc)))
            problem = "PLC " + row.plc + " is not in the configuration";
        std::string key = row.plc;
        for (std::size_t b = 0; problem.empty() && b < row.branches.size(); ++b) {
            key += "." + row.branches[b];
            const DocNode* holder = tree.find(key);
            if ((holder && holder->tag() != "branch") || (!holder && itemLines.count(key)))
                problem = "branch " + row.branches[b] + ": the name is used by an item at this level";
            else if (!holder)
                newBranches.emplace(key, row.line);
        }
        if (problem.empty()) {
            key += "." + row.item.sName;
            const DocNode* holder = tree.find(key);
            if ((holder && holder->tag() != "item") || (!holder && newBranches.count(key)))
                problem = "the name " + row.item.sName + " is used by a branch at this level";
            else if (auto seen = itemLines.find(key); seen != itemLines.end())
                problem = "item " + key + " is also on line " + std::to_string(seen->second);
        }
        if (!problem.empty()) {
            result.errors.push_back(lineError(record.line, problem));
            continue;
        }
        row.item.sKey = key;
        itemLines.emplace(key, row.line);
        rows.push_back(std::move(row));
    }
    if (!result.ok())
        return result;

    DocTree& edit = doc.TreeView1;
    for (Row& row : rows) {
        DocNode* parent = edit.find(row.plc);
        for (const std::string& name : row.branches) {
            const std::string key = parent->key() + "." + name;
            DocNode* branch = edit.find(key);
            if (!branch) {
                auto object = std::make_shared<clsBranch>();
                object->sName = name;
                object->sKey = key;
                doc.gcolBranches.add(key, object);
                branch = edit.add(parent, key, name, "branch", "branch", "branch");
                ++result.branchesCreated;
            }
            parent = branch;
        }
        if (auto existing = doc.gcolItems.find(row.item.sKey)) {
            ++result.replaced;
            if (*existing == row.item)
                continue;
            *existing = row.item;
        } else {
            doc.gcolItems.add(row.item.sKey, std::make_shared<clsItem>(row.item));
            edit.add(parent, row.item.sKey, row.item.sName, "item", "item", "item");
            ++result.added;
        }
        doc.gbCfgSaved = false;
    }
    return result;
}
