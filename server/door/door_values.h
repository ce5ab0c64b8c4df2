// Values, types, time stamps and results in the door's JSON words (docs/door.md), both ways.
#pragma once

#include "server/toolkit/da_client.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

// The door's JSON form of a value, and back. Strings carry bytes as code points 0..255.
nlohmann::json variantToJson(const Variant& value);
// A JSON value as a Variant of the nearest kind (the toolkit converts it to the item's type);
// an empty array takes elementType. False with *error for objects and nested arrays.
bool jsonToVariant(const nlohmann::json& value, std::uint16_t elementType, Variant* out, std::string* error);
// "VT_I2", "VT_BOOL ARRAY", ...
std::string datatypeWord(std::uint16_t vartype);
// Milliseconds since 1970, 0 for none.
long long timeStampMillis(TimeStamp t);
// The "dataChange" event of a group as one line (with its newline), written directly rather
// than built as a JSON tree: a group of a busy plant reports thousands of items a second.
// Byte for byte what serialising the same event as JSON gives.
std::string dataChangeLine(std::uint32_t group, const std::vector<DataChangeItem>& changes);
// "OPC_E_UNKNOWNITEMID" and the like, with a detail when there is one.
std::string resultText(ToolkitResult result, const std::string& detail = {});
