// Comma-separated text (RFC 4180): fields separated by a delimiter, records ended by CR LF or
// LF, a field in double quotes when it holds the delimiter, a quote or a line end, and a quote
// inside such a field doubled.
#pragma once

#include <string>
#include <vector>

struct CsvRecord {
    int line = 0; // the line the record starts on, from 1
    std::vector<std::string> fields;
};

// A record the text can't be split into: where and why.
struct CsvSyntaxError {
    int line = 0;
    std::string reason;
};

// The delimiter of a file whose first line is headerLine: ";" when that line holds a ";"
// outside quotes and no ",", else ",". Spreadsheets in many locales write ";".
char csvDelimiter(const std::string& headerLine);

// Splits text into records. Lines holding nothing are skipped. Returns false, with error set,
// for a quote left open at the end or text between a closing quote and the next delimiter.
bool parseCsv(const std::string& text, char delimiter, std::vector<CsvRecord>& records, CsvSyntaxError& error);

// One record as a line, with CR LF; fields are quoted only when they need it.
std::string csvLine(const std::vector<std::string>& fields, char delimiter = ',');
