// The window's frame: caption, geometry, menus, toolbar, About box, pictures, command line.
#include "tests/editor-ui/window_test_support.h"

#include "editor/ui/editor_list.h"
#include "editor/ui/frm_about.h"
#include "editor/ui/pelmora_app.h"
#include "editor/ui/pictures.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QTreeView>

#include <cstdio>
#include <fstream>

namespace {

class WindowFrameTest : public WindowTest {};

TEST_F(WindowFrameTest, CaptionIsCompanyDashProduct)
{
    EXPECT_EQ(window->windowTitle(), "MOLV Automation - Pelmora");
}

TEST_F(WindowFrameTest, WindowTakesFourFifthsOfTheScreenAndSplitsTwoToThree)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_NEAR(window->width(), 0.8 * screen.width(), 1.0);
    EXPECT_NEAR(window->height(), 0.8 * screen.height(), 1.0);

    window->mnuNewCfg_Click();
    window->show();
    QCoreApplication::processEvents();
    auto treeShare = [&] {
        const QList<int> sizes = window->splitter()->sizes();
        return static_cast<double>(sizes[0]) / (sizes[0] + sizes[1]);
    };
    EXPECT_NEAR(treeShare(), 0.4, 0.01);
    window->resize(window->width() + 400, window->height() + 100);
    QCoreApplication::processEvents();
    EXPECT_NEAR(treeShare(), 0.4, 0.01);
    window->resize(window->width() - 600, window->height());
    QCoreApplication::processEvents();
    EXPECT_NEAR(treeShare(), 0.4, 0.01);
}

TEST_F(WindowFrameTest, MenusCarryTheirCaptionsAndShortcutsInOrder)
{
    struct Entry {
        const char* name;
        const char* caption;
        const char* shortcut;
    };
    const std::vector<std::pair<const char*, std::vector<Entry>>> menus = {
        {"mnuFile",
         {{"mnuNewCfg", "&New Configuration", "Ctrl+N"},
          {"mnuOpenCfg", "&Open Configuration", "Ctrl+O"},
          {"mnunull1", "", ""},
          {"mnuSaveCfg", "&Save Configuration", "Ctrl+S"},
          {"mnuSaveAs", "Save Configuration &As", "Ctrl+Shift+S"},
          {"mnunull3", "", ""},
          {"mnuImportCsv", "Import Items from CSV...", ""},
          {"mnuExportCsv", "Export Items to CSV...", ""},
          {"mnunull2", "", ""},
          {"mnuCloseCfg", "&Close Configuration", ""},
          {"mnuRecent", "&Recent Files", ""},
          {"", "", ""},
          {"mnuExit", "E&xit", ""}}},
        {"mnuObjects",
         {{"mnuAddPlc", "Add &Plc", "Ctrl+P"}, {"mnuAddBranch", "Add &Branch", "Ctrl+B"}, {"mnuAddItem", "Add &Item", "Ctrl+I"}}},
        {"mnuEdit",
         {{"mnuUndo", "&Undo", "Ctrl+Z"},
          {"mnuRedo", "&Redo", "Ctrl+Y"},
          {"", "", ""},
          {"mnuCopy", "&Copy", "Ctrl+C"},
          {"mnuCut", "Cu&t", "Ctrl+X"},
          {"mnuPaste", "&Paste", "Ctrl+V"},
          {"mnuDelete", "&Delete Object", "Del"},
          {"mnunull4", "", ""},
          {"mnuPasteName", "Paste Item names from Clipboard", ""},
          {"mnuPasteComment", "Paste Item comments from Clipboard", ""}}},
        {"mnuView", {{"mnuIcon", "&Icon", ""}, {"mnuSmallIcon", "&SmallIcon", ""}, {"mnuList", "&List", ""}, {"mnuReport", "&Report", ""}}},
        {"mnuTools", {{"mnuFind", "&Find", "Ctrl+F"}, {"mnuFindNext", "Find &Next", "F3"}}},
    };
    const std::map<std::string, std::string> titles = {{"mnuFile", "&File"},   {"mnuObjects", "&Objects"},
                                                       {"mnuEdit", "&Edit"},   {"mnuView", "&View"},
                                                       {"mnuTools", "&Tools"}};
    const QList<QAction*> bar = window->menuBar()->actions();
    ASSERT_EQ(bar.size(), 6);
    for (size_t m = 0; m < menus.size(); ++m) {
        const auto& [name, entries] = menus[m];
        QAction* title = bar[static_cast<int>(m)];
        EXPECT_EQ(title->objectName().toStdString(), name);
        EXPECT_EQ(title->text().toStdString(), titles.at(name));
        const QList<QAction*> actions = title->menu()->actions();
        ASSERT_EQ(actions.size(), static_cast<int>(entries.size())) << name;
        for (size_t i = 0; i < entries.size(); ++i) {
            QAction* action = actions[static_cast<int>(i)];
            EXPECT_EQ(action->objectName().toStdString(), entries[i].name);
            EXPECT_EQ(action->isSeparator(), *entries[i].caption == 0) << entries[i].name;
            if (!action->isSeparator()) {
                EXPECT_EQ(action->text().toStdString(), entries[i].caption);
            }
            EXPECT_EQ(action->shortcut(), QKeySequence(entries[i].shortcut)) << entries[i].name;
        }
    }
    EXPECT_EQ(bar[5]->objectName(), "mnuAbout");
    EXPECT_EQ(bar[5]->text(), "&About");
}

TEST_F(WindowFrameTest, ToolbarHasNineteenButtonsInOrderWithTooltips)
{
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"new", "new config"},     {"open", "open config"},
        {"save", "save config"},   {"close", "close config"},
        {"plc", "add Plc"},        {"branch", "add Branch"},
        {"item", "add Item"},      {"copy", "copy"},
        {"cut", "cut"},            {"paste", "paste"},
        {"delete", "delete"},      {"icon", "view icon"},
        {"smallicon", "view smallicon"}, {"list", "view list"},
        {"report", "view report"}, {"find", ""},
        {"pastitem", "Replace Item Name"}, {"pastcomment", "Replace Item Comment"},
        {"exit", "exit"},
    };
    std::vector<std::string> keys, others;
    for (QAction* action : window->Toolbar1()->actions()) {
        if (action->isSeparator())
            continue;
        if (action->data().toString().isEmpty())
            others.push_back(action->objectName().toStdString());
        else
            keys.push_back(action->data().toString().toStdString());
    }
    // Undo and Redo follow the nineteen, as the Edit menu's own actions.
    EXPECT_EQ(others, (std::vector<std::string>{"mnuUndo", "mnuRedo"}));
    ASSERT_EQ(keys.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(keys[i], expected[i].first);
        if (!expected[i].second.empty()) {
            EXPECT_EQ(window->toolbarButton(QString::fromStdString(keys[i]))->toolTip().toStdString(),
                      expected[i].second);
        }
        EXPECT_FALSE(window->toolbarButton(QString::fromStdString(keys[i]))->icon().isNull()) << keys[i];
    }
}

TEST_F(WindowFrameTest, ToolbarKeysDispatchExactly)
{
    window->mnuNewCfg_Click();
    const auto before = window->menuState();
    for (const char* key : {"New", "NEW", "pastename", "", "view"})
        window->Toolbar1_ButtonClick(key);
    EXPECT_TRUE(prompts.records().empty());
    EXPECT_EQ(window->menuState(), before);
    EXPECT_NE(root(), nullptr);

    window->Toolbar1_ButtonClick("list");
    EXPECT_EQ(window->ListView1()->view(), EditorList::View::List);
    window->Toolbar1_ButtonClick("close");  // asks about the unsaved new configuration
    EXPECT_EQ(prompts.questions(), std::vector<std::string>{"Do you want to save this configuration?"});
}

TEST_F(WindowFrameTest, AboutBoxComesFromTheVersionInformation)
{
    window->mnuAbout_Click();
    frmAbout* about = window->findChild<frmAbout*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(about->windowTitle(), "About Pelmora");
    EXPECT_EQ(about->lblTitle()->text(), "MOLV Automation Pelmora");
    EXPECT_EQ(about->lblVersion()->text().toStdString(), "Version " + versionInfo().versionText());
    EXPECT_EQ(about->lblVersion()->text(), "Version " + QCoreApplication::applicationVersion());
    EXPECT_EQ(about->lblDescription()->text().toStdString(), versionInfo().fileDescription);
    about->close();
}

TEST_F(WindowFrameTest, EveryPictureKeyIsDrawn)
{
    for (const char* key : {"plc", "serial", "branch", "config", "item", "main"})
        EXPECT_FALSE(pictures::treePicture(key).pixmap(16, 16).toImage().isNull()) << key;
    for (const QString& key : pictures::toolbarPictureKeys()) {
        QImage image = pictures::toolbarPicture(key).pixmap(24, 24).toImage();
        bool inked = false;
        for (int y = 0; y < image.height() && !inked; ++y)
            for (int x = 0; x < image.width() && !inked; ++x)
                inked = qAlpha(image.pixel(x, y)) > 0;
        EXPECT_TRUE(inked) << key.toStdString();
    }
    EXPECT_EQ(pictures::toolbarPictureKeys().size(), 19);
    for (const char* key : {"signed 8 bit", "unsigned 8 bit", "signed 16 bit", "unsigned 16 bit", "signed 32 bit",
                            "unsigned 32 bit", "BCD 16 bit", "BCD 32 bit", "32 bit float", "64 bit double",
                            "boolean", "string", "plc"})
        EXPECT_TRUE(pictures::listPictureKeys().contains(key)) << key;
}

TEST(CommandLineTest, ParsesTheForms)
{
    using Mode = CommandLine::Mode;
    struct Case {
        std::vector<std::string> args;
        Mode mode;
        std::string file, output;
    };
    const Case cases[] = {
        {{}, Mode::Window, "", ""},
        {{"plant.xml"}, Mode::Window, "plant.xml", ""},
        {{"--help"}, Mode::Help, "", ""},
        {{"-h"}, Mode::Help, "", ""},
        {{"--version"}, Mode::Version, "", ""},
        {{"--rewrite", "in.xml", "out.xml"}, Mode::Rewrite, "in.xml", "out.xml"},
        {{"--rewrite", "in.xml"}, Mode::Error, "", ""},
        {{"--export-csv", "in.xml", "out.csv"}, Mode::ExportCsv, "in.xml", ""},
        {{"--import-csv", "in.xml", "items.csv", "out.xml"}, Mode::ImportCsv, "in.xml", "out.xml"},
        {{"--import-csv", "in.xml", "items.csv"}, Mode::Error, "", ""},
        {{"--export-csv", "in.xml", "out.csv", "more"}, Mode::Error, "", ""},
        {{"a.xml", "b.xml"}, Mode::Error, "", ""},
        {{"--bogus"}, Mode::Error, "", ""},
        {{"--", "-odd.xml"}, Mode::Window, "-odd.xml", ""},
    };
    for (const Case& c : cases) {
        CommandLine line = parseCommandLine(c.args);
        EXPECT_EQ(line.mode, c.mode) << (c.args.empty() ? "" : c.args.front());
        if (c.mode != Mode::Error) {
            EXPECT_EQ(line.file, c.file);
            EXPECT_EQ(line.output, c.output);
        } else {
            EXPECT_FALSE(line.error.empty());
        }
    }
}

std::string programPath() { return programFolder() + "/pelmora"; }

int runProgram(const std::string& arguments, std::string* output = nullptr)
{
    // No display at all: these forms must not open a window.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + programPath() + " " +
                                arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    if (output)
        *output = text;
    return WEXITSTATUS(pclose(pipe));
}

TEST(ProgramTest, VersionAndHelpAnswerWithoutAWindow)
{
    std::string out;
    EXPECT_EQ(runProgram("--version", &out), 0);
    EXPECT_EQ(out, "Pelmora " + versionInfo().versionText() + "\n");
    EXPECT_EQ(runProgram("--help", &out), 0);
    EXPECT_NE(out.find("pelmora [FILE]"), std::string::npos);
    EXPECT_EQ(runProgram("--no-such-option", &out), 2);
}

TEST(ProgramTest, RewriteRunsWithoutAWindow)
{
    char pattern[] = "/tmp/pelmora-rewrite-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path out = std::filesystem::path(pattern) / "out.xml";
    const std::string in = sourceFolder() + "/tests/editor-ui/fixtures/window_sample.xml";
    std::string text;
    EXPECT_EQ(runProgram("--rewrite " + in + " " + out.string(), &text), 0) << text;
    std::ifstream written(out, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_NE(content.find("<name>Setpoints</name>"), std::string::npos);
    std::filesystem::remove_all(pattern);
}

}  // namespace
