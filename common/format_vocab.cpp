#include "format_vocab.h"

const std::array<AreaEntry, 7> kAreaTable = {{
    {"DM", MemoryArea::DM},
    {"LR", MemoryArea::LR},
    {"HR", MemoryArea::HR},
    {"AR", MemoryArea::AR},
    {"IR", MemoryArea::IR},
    {"TC", MemoryArea::TC},
    {"TG", MemoryArea::TG},
}};

MemoryArea areaFromPrefix(std::string_view prefix)
{
    for (const auto& e : kAreaTable)
        if (e.prefix == prefix)
            return e.area;
    return MemoryArea::None;
}

std::string_view areaPrefix(MemoryArea area)
{
    for (const auto& e : kAreaTable)
        if (e.area == area)
            return e.prefix;
    return {};
}

const std::array<DataTypeEntry, 19> kDataTypeTable = {{
    {"string", "VT_BSTR", vt::BSTR, true},
    {"boolean", "VT_BOOL", vt::BOOL, true},
    {"unsigned 16 bit", "VT_UI2", vt::UI2, true},
    {"unsigned 32 bit", "VT_UI4", vt::UI4, true},
    {"signed 16 bit", "VT_I2", vt::I2, true},
    {"signed 32 bit", "VT_I4", vt::I4, true},
    {"32 bit float", "VT_R4", vt::R4, true},
    {"boolean array", "VT_BOOL ARRAY", vt::ARRAY | vt::BOOL, true},
    {"unsigned 8 bit array", "VT_UI1 ARRAY", vt::ARRAY | vt::UI1, true},
    {"unsigned 16 bit array", "VT_UI2 ARRAY", vt::ARRAY | vt::UI2, true},
    {"unsigned 32 bit array", "VT_UI4 ARRAY", vt::ARRAY | vt::UI4, true},
    {"signed 8 bit array", "VT_I1 ARRAY", vt::ARRAY | vt::I1, true},
    {"signed 16 bit array", "VT_I2 ARRAY", vt::ARRAY | vt::I2, true},
    {"signed 32 bit array", "VT_I4 ARRAY", vt::ARRAY | vt::I4, true},
    {"32 bit float array", "VT_R4 ARRAY", vt::ARRAY | vt::R4, true},
    {"BCD 16 bit", "VT_BCD2", vt::EMPTY, false},
    {"BCD 32 bit", "VT_BCD4", vt::EMPTY, false},
    {"BCD 16 bit array", "VT_BCD2 ARRAY", vt::EMPTY, false},
    {"BCD 32 bit array", "VT_BCD4 ARRAY", vt::EMPTY, false},
}};

const DataTypeEntry* dataTypeByWord(std::string_view typeWord)
{
    for (const auto& e : kDataTypeTable)
        if (e.typeWord == typeWord)
            return &e;
    return nullptr;
}

const DataTypeEntry* dataTypeByEditorName(std::string_view editorName)
{
    for (const auto& e : kDataTypeTable)
        if (e.editorName == editorName)
            return &e;
    return nullptr;
}

const DataTypeEntry* dataTypeByVartype(std::uint16_t vartype)
{
    if (vartype == vt::EMPTY)
        return nullptr;
    for (const auto& e : kDataTypeTable)
        if (e.vartype == vartype)
            return &e;
    return nullptr;
}

std::uint16_t vartypeFromTypeWord(std::string_view typeWord)
{
    const DataTypeEntry* e = dataTypeByWord(typeWord);
    return e ? e->vartype : vt::EMPTY;
}

const std::array<AccessEntry, 3> kAccessTable = {{
    {"READ", 1},
    {"WRITE", 2},
    {"READWRITE", 3},
}};

std::uint8_t accessRightsFromWord(std::string_view word)
{
    for (const auto& e : kAccessTable)
        if (e.word == word)
            return e.rights;
    return 0;
}

std::string_view accessWord(std::uint8_t rights)
{
    for (const auto& e : kAccessTable)
        if (e.rights == rights)
            return e.word;
    return {};
}
