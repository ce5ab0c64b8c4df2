#include "editor/ui/pelmora_app.h"

#include "editor/model/csv_commands.h"
#include "editor/model/rewrite.h"
#include "editor/ui/frm_editing.h"
#include "editor/ui/qt_prompts.h"

#include <QApplication>
#include <QTimer>

#include <iostream>
#include <sstream>

#ifndef PELMORA_VERSION
#define PELMORA_VERSION "1.1.0"
#endif

const VersionInfo& versionInfo()
{
    static const VersionInfo info = [] {
        VersionInfo v;
        v.company = "MOLV Automation";
        v.product = "Pelmora";
        v.fileDescription = "Configuration editor of the Vorlask Host Link OPC server";
        std::istringstream parts(PELMORA_VERSION);
        char dot = 0;
        parts >> v.major >> dot >> v.minor >> dot >> v.revision;
        v.contact = {"MOLV Automation", "Industrial communication software",
                     "Omron C-series Host Link connectivity"};
        return v;
    }();
    return info;
}

std::string VersionInfo::versionText() const
{
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
}

void applyApplicationIdentity()
{
    const VersionInfo& v = versionInfo();
    QCoreApplication::setOrganizationName(QString::fromStdString(v.company));
    QCoreApplication::setApplicationName(QString::fromStdString(v.product));
    QCoreApplication::setApplicationVersion(QString::fromStdString(v.versionText()));
}

std::string usageText()
{
    return "Usage: pelmora [FILE]\n"
           "       pelmora --rewrite IN OUT\n"
           "       pelmora --export-csv IN.xml OUT.csv\n"
           "       pelmora --import-csv IN.xml ITEMS.csv OUT.xml\n"
           "       pelmora --help | --version\n"
           "       pelmora --screenshot PNG [FILE]\n"
           "\n"
           "Edits Vorlask configuration files. With FILE the editor opens it at start.\n"
           "--rewrite reads IN as Open does and writes it to OUT as Save As does, without a\n"
           "window and without recording the file for the server.\n"
           "--export-csv writes every item of IN.xml to OUT.csv, one row each, with the columns\n"
           "PLC,Branch,Name,Comment,Area,Address,Bit,Type,BCD,Elements,Access (UTF-8).\n"
           "--import-csv adds the items of ITEMS.csv to IN.xml (an item with the same PLC, branch\n"
           "and name is replaced; missing branches are created) and writes OUT.xml as Save As\n"
           "does. The columns may come in any order, separated by \",\" or \";\". Every row is\n"
           "checked first; when one fails, nothing is written, each failure is printed as\n"
           "\"line N: reason\" and the exit status is 1.\n"
           "--screenshot saves a picture of the window after start (and after FILE is open,\n"
           "showing its first branch of items), then quits.\n";
}

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    std::vector<std::string> plain;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            line.mode = CommandLine::Mode::Help;
            return line;
        }
        if (arg == "--version") {
            line.mode = CommandLine::Mode::Version;
            return line;
        }
        if (arg == "--rewrite") {
            if (args.size() < i + 3) {
                line.mode = CommandLine::Mode::Error;
                line.error = "--rewrite needs IN and OUT";
                return line;
            }
            line.mode = CommandLine::Mode::Rewrite;
            line.file = args[i + 1];
            line.output = args[i + 2];
            i += 2;
            continue;
        }
        if (arg == "--export-csv" || arg == "--import-csv") {
            const bool import = arg == "--import-csv";
            const std::size_t needed = import ? 3 : 2;
            if (args.size() < i + 1 + needed) {
                line.mode = CommandLine::Mode::Error;
                line.error = import ? "--import-csv needs IN.xml, ITEMS.csv and OUT.xml" : "--export-csv needs IN.xml and OUT.csv";
                return line;
            }
            line.mode = import ? CommandLine::Mode::ImportCsv : CommandLine::Mode::ExportCsv;
            line.file = args[i + 1];
            line.csv = args[i + 2];
            if (import)
                line.output = args[i + 3];
            i += needed;
            continue;
        }
        if (arg == "--screenshot") {
            if (args.size() < i + 2) {
                line.mode = CommandLine::Mode::Error;
                line.error = "--screenshot needs a PNG file";
                return line;
            }
            line.screenshot = args[++i];
            continue;
        }
        if (arg == "--") {
            plain.insert(plain.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            line.mode = CommandLine::Mode::Error;
            line.error = "unknown option " + arg;
            return line;
        }
        plain.push_back(arg);
    }
    if (line.mode == CommandLine::Mode::Rewrite || line.mode == CommandLine::Mode::ExportCsv ||
        line.mode == CommandLine::Mode::ImportCsv) {
        if (!plain.empty()) {
            line.mode = CommandLine::Mode::Error;
            line.error = "unexpected argument " + plain.front();
        }
        return line;
    }
    if (plain.size() > 1) {
        line.mode = CommandLine::Mode::Error;
        line.error = "only one FILE can be opened";
        return line;
    }
    if (!plain.empty())
        line.file = plain.front();
    return line;
}

namespace {

// For the screenshot: the whole tree open and the first branch that holds items clicked.
void showFirstItemBranch(frmEditing& window)
{
    DocTree& tree = window.tree();
    DocNode* target = tree.root();
    for (DocNode* node : tree.nodes()) {
        tree.ensureVisible(node);
        if (node->hasChildren())
            tree.setExpanded(node, true);
        if (target == tree.root() && node->tag() == "branch")
            for (DocNode* child : node->children())
                if (child->tag() == "item")
                    target = node;
    }
    if (target)
        window.TreeView1_NodeClick(target);
}

}  // namespace

int runPelmora(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine line = parseCommandLine(args);
    switch (line.mode) {
    case CommandLine::Mode::Help:
        std::cout << usageText();
        return 0;
    case CommandLine::Mode::Version:
        std::cout << versionInfo().product << " " << versionInfo().versionText() << "\n";
        return 0;
    case CommandLine::Mode::Error:
        std::cerr << "pelmora: " << line.error << "\n" << usageText();
        return 2;
    case CommandLine::Mode::Rewrite:
        return runRewrite(line.file, line.output, std::cerr);
    case CommandLine::Mode::ExportCsv:
        return runExportCsv(line.file, line.csv, std::cerr);
    case CommandLine::Mode::ImportCsv:
        return runImportCsv(line.file, line.csv, line.output, std::cout, std::cerr);
    case CommandLine::Mode::Window:
        break;
    }

    QApplication app(argc, argv);
    applyApplicationIdentity();
    QtPrompts prompts;
    frmEditing window(prompts);
    window.setRememberSettings(true);
    prompts.setParentWidget(&window);
    window.show();
    if (!line.file.empty()) {
        const std::string file = line.file;
        QTimer::singleShot(0, &window, [&window, file] { window.openAtStart(file); });
    }
    if (!line.screenshot.empty()) {
        const QString png = QString::fromStdString(line.screenshot);
        QTimer::singleShot(300, &window, [&window, png] {
            showFirstItemBranch(window);
            QTimer::singleShot(300, &window, [&window, png] {
                const bool saved = window.grab().save(png, "PNG");
                if (!saved)
                    std::cerr << "pelmora: can't write " << png.toStdString() << "\n";
                window.document().gbCfgSaved = true;  // nothing to ask about
                QCoreApplication::exit(saved ? 0 : 1);
            });
        });
    }
    return app.exec();
}
