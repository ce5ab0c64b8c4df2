#include "server/door/door_values.h"

#include "common/format_vocab.h"
#include "server/door_base/door_latin1.h"

#include <cstdio>
#include <limits>
#include <string_view>

using json = nlohmann::json;

std::string resultText(ToolkitResult result, const std::string& detail)
{
    std::string text;
    if (result == kResultUnknownItemId)
        text = "unknown item ID";
    else if (result == kResultInvalidItemId)
        text = "invalid item ID";
    else if (result == kResultBadRights)
        text = "the item's access rights do not allow this";
    else if (result == kResultTimeout)
        text = "the PLC did not answer in time";
    else if (result == kResultBadType)
        text = "the value does not fit the item's data type";
    else if (result == kResultFail)
        text = "the PLC request failed";
    else if (result == kResultInvalidHandle)
        text = "unknown handle";
    else if (result == kResultNotRunning)
        text = "the server is not running";
    else
        text = "refused";
    text += std::string(" (") + resultName(result) + ")";
    if (!detail.empty())
        text += ": " + detail;
    return text;
}

long long timeStampMillis(TimeStamp t)
{
    if (t == TimeStamp{})
        return 0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

namespace {

// s (UTF-8) as a JSON string, escaped as nlohmann::json escapes it.
void appendJsonString(std::string& out, std::string_view s)
{
    out += '"';
    for (const char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
                out += code;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

} // namespace

std::string dataChangeLine(std::uint32_t group, const std::vector<DataChangeItem>& changes)
{
    // The keys in the order a JSON object of the door keeps them (sorted).
    std::string out;
    out.reserve(48 + changes.size() * 120);
    out += "{\"event\":\"dataChange\",\"group\":";
    out += std::to_string(group);
    out += ",\"items\":[";
    bool first = true;
    for (const auto& ch : changes) {
        out += first ? "{\"clientHandle\":" : ",{\"clientHandle\":";
        first = false;
        out += std::to_string(ch.clientHandle);
        out += ",\"handle\":";
        out += std::to_string(ch.item);
        out += ",\"item\":";
        appendJsonString(out, latin1ToUtf8(ch.itemId));
        out += ",\"quality\":";
        out += std::to_string(ch.quality);
        out += ",\"timestamp\":";
        out += std::to_string(timeStampMillis(ch.timeStamp));
        out += ",\"value\":";
        out += variantToJson(ch.value).dump(-1, ' ', false, json::error_handler_t::replace);
        out += ",\"vartype\":";
        out += std::to_string(ch.value.vartype());
        out += '}';
    }
    out += "]}\n";
    return out;
}

std::string datatypeWord(std::uint16_t vartype)
{
    if (vartype == vt::EMPTY)
        return "VT_EMPTY";
    return vartypeName(vartype);
}

json variantToJson(const Variant& value)
{
    if (value.isArray()) {
        json arr = json::array();
        for (const auto& e : value.elements())
            arr.push_back(variantToJson(e));
        return arr;
    }
    switch (value.vartype()) {
    case vt::EMPTY:
        return nullptr;
    case vt::BOOL:
        return value.boolValue();
    case vt::R4:
        return static_cast<double>(value.r4());
    case vt::R8:
        return value.r8();
    case vt::BSTR:
        return latin1ToUtf8(value.str());
    case vt::UI1:
    case vt::UI2:
    case vt::UI4:
        return static_cast<std::uint64_t>(value.asInt64());
    default:
        return value.asInt64();
    }
}

bool jsonToVariant(const json& value, std::uint16_t elementType, Variant* out, std::string* error)
{
    auto scalar = [&](const json& v, Variant* s) {
        if (v.is_boolean()) {
            *s = Variant::fromBool(v.get<bool>());
        } else if (v.is_number_unsigned()) {
            const auto u = v.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
                *s = Variant::fromI4(static_cast<std::int32_t>(u));
            else if (u <= std::numeric_limits<std::uint32_t>::max())
                *s = Variant::fromUI4(static_cast<std::uint32_t>(u));
            else
                *s = Variant::fromR8(static_cast<double>(u));
        } else if (v.is_number_integer()) {
            const auto i = v.get<std::int64_t>();
            if (i >= std::numeric_limits<std::int32_t>::min() && i <= std::numeric_limits<std::int32_t>::max())
                *s = Variant::fromI4(static_cast<std::int32_t>(i));
            else
                *s = Variant::fromR8(static_cast<double>(i));
        } else if (v.is_number_float()) {
            *s = Variant::fromR8(v.get<double>());
        } else if (v.is_string()) {
            *s = Variant::fromString(utf8ToLatin1(v.get<std::string>()));
        } else {
            if (error)
                *error = "a value is a number, true/false, a string or an array of those";
            return false;
        }
        return true;
    };
    if (!value.is_array())
        return scalar(value, out);

    std::vector<Variant> elements;
    for (const auto& e : value) {
        Variant s;
        if (e.is_array() || !scalar(e, &s)) {
            if (error)
                *error = "array elements are numbers, true/false or strings";
            return false;
        }
        elements.push_back(std::move(s));
    }
    // The element kind every element fits: bool, integer, real or string.
    std::uint16_t kind = elements.empty() ? elementType : vt::EMPTY;
    for (const auto& e : elements) {
        std::uint16_t k = e.vartype();
        if (k == vt::UI4)
            k = vt::R8; // above the signed range; the toolkit range-checks
        if (kind == vt::EMPTY)
            kind = k;
        else if (kind != k) {
            const bool numeric = (kind == vt::I4 || kind == vt::R8) && (k == vt::I4 || k == vt::R8);
            if (!numeric) {
                if (error)
                    *error = "array elements must all be of one kind";
                return false;
            }
            kind = vt::R8;
        }
    }
    if (kind == vt::EMPTY)
        kind = vt::I4;
    Variant arr = Variant::makeArray(kind, elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!arr.setAt(i, elements[i])) {
            if (error)
                *error = "array element " + std::to_string(i) + " does not fit";
            return false;
        }
    }
    *out = std::move(arr);
    return true;
}
