#include "tools/cli/cli_stats.h"

#include <sstream>

namespace {

// Numbers as the door gave them; text as it is (tabs and line ends would break the table).
std::string cell(const nlohmann::json& v)
{
    if (v.is_string()) {
        std::string s = v.get<std::string>();
        for (char& c : s)
            if (c == '\t' || c == '\n' || c == '\r')
                c = ' ';
        return s;
    }
    return v.is_null() ? std::string() : v.dump();
}

void table(std::ostringstream& out, const nlohmann::json& rows, std::initializer_list<const char*> columns)
{
    const char* sep = "";
    for (const char* c : columns) {
        out << sep << c;
        sep = "\t";
    }
    out << '\n';
    if (!rows.is_array())
        return;
    for (const auto& row : rows) {
        sep = "";
        for (const char* c : columns) {
            out << sep << (row.contains(c) ? cell(row[c]) : std::string());
            sep = "\t";
        }
        out << '\n';
    }
}

} // namespace

std::string plcsTable(const nlohmann::json& reply)
{
    std::ostringstream out;
    table(out, reply.value("plcs", nlohmann::json::array()),
          {"plc", "unit", "port", "mode", "model", "fatal", "fals", "message", "lastResult", "lastText"});
    return out.str();
}

std::string statsTables(const nlohmann::json& reply, bool blocks)
{
    std::ostringstream out;
    table(out, reply.value("plcs", nlohmann::json::array()),
          {"plc", "unit", "port", "commands", "failures", "lastResult", "lastText", "responseMeanMs", "responseMaxMs",
           "lineBusyPct"});
    if (blocks) {
        out << '\n';
        table(out, reply.value("blocks", nlohmann::json::array()),
              {"plc", "area", "first", "count", "rateMs", "achievedMeanMs", "achievedMaxMs"});
    }
    return out.str();
}
