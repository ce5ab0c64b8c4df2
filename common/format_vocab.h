// The configuration file's vocabularies, one table each: memory area prefixes, type words
// (with the editor's names and the server's VARTYPEs) and access words. The server's loader
// and the editor both read from these tables.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// 8-bit PLC memory area code, as the codec turns it into Host Link header letters.
enum class MemoryArea : std::uint8_t {
    None = 0,
    LR = 1,
    HR = 2,
    DM = 3,
    AR = 4,
    IR = 5,
    TC = 6,
    TG = 7,
};

struct AreaEntry {
    std::string_view prefix;
    MemoryArea area;
};

// In the order the editor offers them: DM, LR, HR, AR, IR, TC, TG.
extern const std::array<AreaEntry, 7> kAreaTable;

// Exact, case-sensitive prefix match; anything else is MemoryArea::None.
MemoryArea areaFromPrefix(std::string_view prefix);
// "" for MemoryArea::None or an unknown code.
std::string_view areaPrefix(MemoryArea area);

// OLE VARTYPE codes used by the server.
namespace vt {
inline constexpr std::uint16_t EMPTY = 0x0000;
inline constexpr std::uint16_t I2 = 0x0002;
inline constexpr std::uint16_t I4 = 0x0003;
inline constexpr std::uint16_t R4 = 0x0004;
inline constexpr std::uint16_t R8 = 0x0005;
inline constexpr std::uint16_t BSTR = 0x0008;
inline constexpr std::uint16_t BOOL = 0x000B;
inline constexpr std::uint16_t I1 = 0x0010;
inline constexpr std::uint16_t UI1 = 0x0011;
inline constexpr std::uint16_t UI2 = 0x0012;
inline constexpr std::uint16_t UI4 = 0x0013;
inline constexpr std::uint16_t ARRAY = 0x2000;
} // namespace vt

struct DataTypeEntry {
    std::string_view editorName; // "signed 16 bit"
    std::string_view typeWord;   // "VT_I2"
    std::uint16_t vartype;       // 0x0002; 0 for the words only the editor reads
    bool editorWrites;           // false for the four VT_BCD words
};

// The nineteen rows: the fifteen the editor writes, in its order, then the four VT_BCD words.
extern const std::array<DataTypeEntry, 19> kDataTypeTable;

// Whole-word, case-sensitive lookups (the single space before "ARRAY" included); nullptr when
// the word or name is not in the table.
const DataTypeEntry* dataTypeByWord(std::string_view typeWord);
const DataTypeEntry* dataTypeByEditorName(std::string_view editorName);
const DataTypeEntry* dataTypeByVartype(std::uint16_t vartype); // first row with that VARTYPE, never for 0
// The server's VARTYPE for a type word; 0 (VT_EMPTY) for any word not in the table.
std::uint16_t vartypeFromTypeWord(std::string_view typeWord);

struct AccessEntry {
    std::string_view word;
    std::uint8_t rights; // OPC access-rights bits: 1 readable, 2 writable
};

extern const std::array<AccessEntry, 3> kAccessTable; // READ, WRITE, READWRITE

// 0 for any other text.
std::uint8_t accessRightsFromWord(std::string_view word);
// "" for rights that have no word (0 or above 3).
std::string_view accessWord(std::uint8_t rights);

// The suffixes of the datatype child.
inline constexpr std::string_view kBcdSuffix = "BCD";
inline constexpr std::string_view kBinSuffix = "BIN";
