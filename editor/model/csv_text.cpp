#include "editor/model/csv_text.h"

char csvDelimiter(const std::string& headerLine)
{
    bool quoted = false, comma = false, semicolon = false;
    for (char c : headerLine) {
        if (c == '"')
            quoted = !quoted;
        else if (c == '\n')
            break;
        else if (!quoted && c == ',')
            comma = true;
        else if (!quoted && c == ';')
            semicolon = true;
    }
    return semicolon && !comma ? ';' : ',';
}

bool parseCsv(const std::string& text, char delimiter, std::vector<CsvRecord>& records, CsvSyntaxError& error)
{
    records.clear();
    std::size_t i = 0;
    const std::size_t n = text.size();
    int line = 1;
    while (i < n) {
        CsvRecord record;
        record.line = line;
        std::string field;
        bool ended = false;
        while (!ended) {
            if (i < n && text[i] == '"') {
                const int opened = line;
                ++i;
                for (;;) {
                    if (i >= n) {
                        error = {opened, "a quoted field is not closed"};
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n')
                        ++line;
                    field += text[i++];
                }
                if (i < n && text[i] != delimiter && text[i] != '\r' && text[i] != '\n') {
                    error = {line, "text after the closing quote of a field"};
                    return false;
                }
            }
            while (i < n && text[i] != delimiter && text[i] != '\n') {
                // A CR belongs to the line end only right before LF (or at the very end).
                if (text[i] == '\r' && (i + 1 == n || text[i + 1] == '\n')) {
                    ++i;
                    continue;
                }
                field += text[i++];
            }
            record.fields.push_back(std::move(field));
            field.clear();
            if (i < n && text[i] == delimiter) {
                ++i;
            } else {
                ended = true;
                if (i < n) { // the LF
                    ++i;
                    ++line;
                }
            }
        }
        if (!(record.fields.size() == 1 && record.fields[0].empty()))
            records.push_back(std::move(record));
    }
    return true;
}

std::string csvLine(const std::vector<std::string>& fields, char delimiter)
{
    std::string out;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (f > 0)
            out += delimiter;
        const std::string& field = fields[f];
        if (field.find_first_of(std::string("\"\r\n") + delimiter) == std::string::npos) {
            out += field;
            continue;
        }
        out += '"';
        for (char c : field) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    return out + "\r\n";
}
