// pelmora --export-csv IN OUT and pelmora --import-csv IN CSV OUT: a configuration's items to
// and from a CSV file, without a window and without touching the registry. IN is read as Open
// reads it; messages go to err, one per line.
#pragma once

#include <ostream>
#include <string>

// Writes every item of IN to OUT (UTF-8, CR LF). 0 on success, 1 otherwise.
int runExportCsv(const std::string& in, const std::string& csv, std::ostream& err);
// Adds the items of CSV to IN and writes the result to OUT as Save As does; the summary
// ("412 items added, 3 replaced, 2 branches created") goes to out. When a row fails nothing is
// written and err gets "line N: reason" for each; 1 then, 0 on success.
int runImportCsv(const std::string& in, const std::string& csv, const std::string& outFile, std::ostream& out,
                 std::ostream& err);
