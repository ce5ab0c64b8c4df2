// The program around the main window: its version information and the command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// What the program's version information says about it.
struct VersionInfo {
    std::string company;          // "MOLV Automation"
    std::string product;          // "Pelmora"
    std::string fileDescription;
    int major = 0, minor = 0, revision = 0;
    std::vector<std::string> contact;  // the maker's contact lines for the About box
    std::string versionText() const;   // "1.1.0"
};
const VersionInfo& versionInfo();

// Gives the running QApplication the organisation, name and version above.
void applyApplicationIdentity();

struct CommandLine {
    enum class Mode { Window, Help, Version, Rewrite, ExportCsv, ImportCsv, Error } mode = Mode::Window;
    std::string file;            // FILE to open at start (Window), IN (the file commands)
    std::string csv;             // the CSV file (ExportCsv: what is written; ImportCsv: what is read)
    std::string output;          // OUT (Rewrite, ImportCsv)
    std::string error;           // what was wrong (Error)
    std::string screenshot;      // --screenshot PNG: picture of the window after start, then quit
};
CommandLine parseCommandLine(const std::vector<std::string>& args);
std::string usageText();

// The whole program: pelmora [FILE] | --rewrite IN OUT | --export-csv IN CSV |
// --import-csv IN CSV OUT | --help | --version.
int runPelmora(int argc, char** argv);
