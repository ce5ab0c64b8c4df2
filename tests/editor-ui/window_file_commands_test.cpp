// New, Open, Save, Save As, Close, Exit and closing the window.
#include "tests/editor-ui/window_test_support.h"

#include "common/registry.h"
#include "editor/ui/editor_list.h"

#include <QLabel>
#include <QProgressBar>
#include <QTreeView>
#include <QUndoStack>

#include <fstream>
#include <sstream>

namespace {

using Kind = ScriptedPrompts::Kind;
using State = frmEditing::MenuState;
constexpr bool T = true, F = false;
const State kStartup{T, F, F, F, F, F, F, F, F, F, F, F, F};
const State kImporting{F, F, F, F, F, F, F, F, F, F, F, F, F};
const State kAfterOpen{T, T, F, F, T, F, F, F, F, F, T, F, F};

const char* kSaveActive = "Do you want to save active configuration?";
const char* kSaveThis = "Do you want to save this configuration?";

std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class FileCommandsTest : public WindowTest {
protected:
    std::filesystem::path defaultFile() const { return dir / "Vorlask.xml"; }
    std::string overwriteQuestion(const std::filesystem::path& path) const
    {
        return "File " + path.string() + " already existing. Overwrite?";
    }
    std::optional<std::string> registryValue() const
    {
        return Registry(registryRoot).readString("SOFTWARE\\MOLVAutomation\\Vorlask", "ConfigFile");
    }
    int count(Kind kind) const
    {
        int n = 0;
        for (const auto& record : prompts.records())
            n += record.kind == kind;
        return n;
    }
};

TEST_F(FileCommandsTest, NewStartsAnEmptyConfigurationAtTheDefaultPath)
{
    window->mnuNewCfg_Click();
    EXPECT_TRUE(doc().gbCfgOpen);
    EXPECT_FALSE(doc().gbCfgSaved);
    EXPECT_EQ(window->msConfigFileName, defaultFile().string());
    ASSERT_NE(root(), nullptr);
    EXPECT_EQ(root()->text(), defaultFile().string());
    EXPECT_EQ(root()->tag(), "config");
    EXPECT_EQ(root()->image(), "config");
    EXPECT_EQ(window->selectedNode(), root());
    EXPECT_TRUE(doc().collectionsExist());
    EXPECT_EQ(doc().gcolPlcs.count(), 0u);
    EXPECT_EQ(doc().gnPlcCount, 0);
    EXPECT_EQ(doc().gnBranchCount, 0);
    EXPECT_EQ(doc().gnItemCount, 0);
    EXPECT_TRUE(window->TreeView1()->isVisibleTo(window.get()));
    EXPECT_TRUE(window->ListView1()->isVisibleTo(window.get()));
    EXPECT_FALSE(window->ListView1()->sorted());
    ASSERT_TRUE(doc().gaClipboard.has_value());
    EXPECT_EQ(doc().gaClipboard->size(), 1u);
    EXPECT_TRUE(prompts.records().empty());
}

TEST_F(FileCommandsTest, NewOnUnsavedWorkWithYesThenCancelKeepsItOpenAndUntouched)
{
    newWithSample();
    writeAll(defaultFile(), "old contents");
    prompts.queueAnswer(PromptAnswer::Yes);     // save first?
    prompts.queueAnswer(PromptAnswer::Cancel);  // overwrite?
    window->mnuNewCfg_Click();
    EXPECT_EQ(prompts.questions(), (std::vector<std::string>{kSaveActive, overwriteQuestion(defaultFile())}));
    EXPECT_TRUE(doc().gbCfgOpen);
    EXPECT_FALSE(doc().gbCfgSaved);
    EXPECT_NE(node("PLC1.A.T1"), nullptr);
    EXPECT_EQ(doc().gcolItems.count(), 3u);
    EXPECT_EQ(readAll(defaultFile()), "old contents");
    EXPECT_EQ(registryValue(), std::nullopt);
}

TEST_F(FileCommandsTest, NewOnUnsavedWorkWithNoDropsIt)
{
    newWithSample();
    prompts.queueAnswer(PromptAnswer::No);
    window->mnuNewCfg_Click();
    EXPECT_EQ(prompts.questions(), std::vector<std::string>{kSaveActive});
    EXPECT_EQ(node("PLC1"), nullptr);
    EXPECT_EQ(doc().gcolItems.count(), 0u);
    EXPECT_EQ(window->tree().count(), 1u);
}

TEST_F(FileCommandsTest, SaveWithoutAFileThereWritesRecordsAndReports)
{
    newWithSample();
    window->mnuSaveCfg_Click();
    EXPECT_TRUE(prompts.questions().empty());
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{defaultFile().string() + " saved"});
    EXPECT_EQ(prompts.records().back().caption, "Pelmora");
    EXPECT_TRUE(doc().gbCfgSaved);
    const std::string text = readAll(defaultFile());
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n", 0), 0u);
    EXPECT_NE(text.find("<name>T1</name>"), std::string::npos);
    EXPECT_EQ(registryValue(), defaultFile().string());
}

TEST_F(FileCommandsTest, SaveOverAnExistingFileAsksYesNoCancel)
{
    struct Case {
        PromptAnswer answer;
        bool written;
    };
    for (const Case& c : {Case{PromptAnswer::Cancel, false}, Case{PromptAnswer::Yes, true}}) {
        SCOPED_TRACE(c.written ? "Yes" : "Cancel");
        newWithSample();
        prompts.clear();
        writeAll(defaultFile(), "old contents");
        prompts.queueAnswer(c.answer);
        window->mnuSaveCfg_Click();
        ASSERT_EQ(prompts.questions(), std::vector<std::string>{overwriteQuestion(defaultFile())});
        EXPECT_EQ(prompts.records().front().buttons, PromptButtons::YesNoCancel);
        EXPECT_EQ(count(Kind::SaveFile), 0);
        EXPECT_EQ(doc().gbCfgSaved, c.written);
        EXPECT_EQ(readAll(defaultFile()) != "old contents", c.written);
        EXPECT_EQ(prompts.messages().size(), c.written ? 1u : 0u);
        EXPECT_EQ(registryValue().has_value(), c.written);
    }
}

TEST_F(FileCommandsTest, SaveAnsweredNoGoesOnToSaveAs)
{
    newWithSample();
    writeAll(defaultFile(), "old contents");
    const std::filesystem::path other = dir / "other.xml";
    prompts.queueAnswer(PromptAnswer::No);
    prompts.queueFile(other.string());
    window->mnuSaveCfg_Click();
    EXPECT_EQ(count(Kind::SaveFile), 1);
    EXPECT_EQ(readAll(defaultFile()), "old contents");
    EXPECT_NE(readAll(other).find("<name>X</name>"), std::string::npos);
    EXPECT_TRUE(doc().gbCfgSaved);
    EXPECT_EQ(root()->text(), other.string());
    EXPECT_EQ(window->msConfigFileName, other.string());
    EXPECT_EQ(registryValue(), other.string());
    EXPECT_TRUE(prompts.messages().empty());  // Save As reports nothing
}

TEST_F(FileCommandsTest, SaveAsNeverAsksAndRenamesTheRoot)
{
    newWithSample();
    const std::filesystem::path target = dir / "plant.xml";
    writeAll(target, "old contents");
    prompts.queueFile(target.string());
    window->mnuSaveAs_Click();
    ASSERT_EQ(prompts.records().size(), 1u);
    const auto& dialog = prompts.records().front();
    EXPECT_EQ(dialog.kind, Kind::SaveFile);
    EXPECT_EQ(dialog.file.title, "Save configuration");
    EXPECT_EQ(dialog.file.filter, "configuration files |*.xml");
    EXPECT_EQ(dialog.file.defaultName, "Vorlask.xml");
    EXPECT_NE(readAll(target), "old contents");
    EXPECT_EQ(root()->text(), target.string());
    EXPECT_EQ(window->TreeView1()->model()->index(0, 0).data().toString().toStdString(), target.string());
    EXPECT_TRUE(doc().gbCfgSaved);
    EXPECT_EQ(registryValue(), target.string());
}

TEST_F(FileCommandsTest, SaveAsCancelledEndsSilently)
{
    newWithSample();
    prompts.queueFile(std::nullopt);
    window->mnuSaveAs_Click();
    EXPECT_EQ(prompts.records().size(), 1u);
    EXPECT_FALSE(doc().gbCfgSaved);
    EXPECT_EQ(root()->text(), defaultFile().string());
    EXPECT_FALSE(std::filesystem::exists(defaultFile()));
}

TEST_F(FileCommandsTest, SaveCommandsDoNothingWithoutAConfiguration)
{
    window->mnuSaveCfg_Click();
    window->mnuSaveAs_Click();
    EXPECT_TRUE(prompts.records().empty());
    EXPECT_FALSE(std::filesystem::exists(defaultFile()));
}

TEST_F(FileCommandsTest, AFailedWriteIsNotASave)
{
    newWithSample();
    const std::filesystem::path unreachable = dir / "missing" / "plant.xml";
    prompts.queueFile(unreachable.string());
    window->mnuSaveAs_Click();
    EXPECT_FALSE(doc().gbCfgSaved);
    EXPECT_FALSE(std::filesystem::exists(unreachable));
    EXPECT_EQ(registryValue(), std::nullopt);
    ASSERT_FALSE(prompts.messages().empty());  // the writer reports why
}

TEST_F(FileCommandsTest, ARegistryThatCannotBeWrittenIsReportedAndTheFileStillSaved)
{
    newWithSample();
    // A file where the registry's folder should be (as root, a mode would not stop a write).
    writeAll(dir / "plain-file", "x");
    setenv("MOLV_REGISTRY_ROOT", (dir / "plain-file" / "registry").c_str(), 1);
    window->mnuSaveCfg_Click();
    EXPECT_TRUE(doc().gbCfgSaved);
    EXPECT_NE(readAll(defaultFile()).find("<name>T1</name>"), std::string::npos);
    ASSERT_EQ(prompts.messages().size(), 2u);
    EXPECT_EQ(prompts.messages()[0].rfind(defaultFile().string() + " was saved, but the server will not load it: "
                                          "the registry value ConfigFile could not be set (",
                                          0),
              0u)
        << prompts.messages()[0];
    EXPECT_EQ(prompts.messages()[1], defaultFile().string() + " saved");
}

TEST_F(FileCommandsTest, OpenLoadsTheChosenFile)
{
    const std::string path = fixture("window_sample.xml");
    openFile(path);
    ASSERT_EQ(prompts.records().size(), 1u) << (prompts.messages().empty() ? "" : prompts.messages().front());
    const auto& dialog = prompts.records().front();
    EXPECT_EQ(dialog.kind, Kind::OpenFile);
    EXPECT_EQ(dialog.file.title, "Open as existing configuration");
    EXPECT_EQ(dialog.file.filter, "configuration files |*.xml");
    EXPECT_TRUE(dialog.file.mustExist);

    const std::string full = std::filesystem::absolute(path).lexically_normal().string();
    EXPECT_EQ(window->msConfigFileName, full);
    EXPECT_EQ(root()->text(), full);
    EXPECT_TRUE(doc().gbCfgOpen);
    EXPECT_TRUE(doc().gbCfgSaved);
    EXPECT_EQ(doc().gnPlcCount, 3);
    EXPECT_EQ(doc().gnBranchCount, 4);
    EXPECT_EQ(doc().gnItemCount, 8);
    EXPECT_NE(node("Press1.MOTORS.SPARE.Temp"), nullptr);
    EXPECT_EQ(window->menuState(), kAfterOpen);
    EXPECT_FALSE(window->pnlImpStat()->isVisibleTo(window.get()));
    EXPECT_EQ(window->pnlPercent()->value(), 7);  // one step per item
    EXPECT_TRUE(window->TreeView1()->isVisibleTo(window.get()));
    EditorList* list = window->ListView1();
    EXPECT_EQ(list->columnTitle(0), "Plc Name");
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->rowKey(0), "Press1");
    EXPECT_EQ(list->rowText(1, 1), "12");
    EXPECT_EQ(prompts.busyDepth(), 0);
}

TEST_F(FileCommandsTest, OpenCancelledKeepsTheDocument)
{
    newWithSample();
    doc().gbCfgSaved = true;
    prompts.queueFile(std::nullopt);
    window->mnuOpenCfg_Click();
    EXPECT_NE(node("PLC1.X"), nullptr);
    EXPECT_TRUE(prompts.messages().empty());
}

TEST_F(FileCommandsTest, AFileThatFailsToImportLeavesOnlyNewAndOpen)
{
    for (const std::string& path : {fixture("window_broken.xml"), (dir / "absent.xml").string()}) {
        SCOPED_TRACE(path);
        prompts.clear();
        openFile(path);
        ASSERT_FALSE(prompts.messages().empty());
        EXPECT_NE(prompts.messages().front().find(" in ImportXML"), std::string::npos) << prompts.messages().front();
        EXPECT_EQ(window->menuState(), kStartup);
        EXPECT_FALSE(window->pnlImpStat()->isVisibleTo(window.get()));
        EXPECT_FALSE(doc().gbCfgOpen);
    }
}

TEST_F(FileCommandsTest, AFailedOpenLeavesTheOpenDocumentAndAnOpenThatSkippedPartsIsUnsaved)
{
    const std::string sample = fixture("window_sample.xml");
    openFile(sample);
    const std::string name = window->msConfigFileName;
    const auto state = window->menuState();
    for (const std::string& path : {fixture("window_broken.xml"), (dir / "absent.xml").string()}) {
        SCOPED_TRACE(path);
        prompts.clear();
        openFile(path);
        EXPECT_FALSE(prompts.messages().empty());
        EXPECT_EQ(window->msConfigFileName, name);
        EXPECT_EQ(root()->text(), name);
        EXPECT_NE(node("Press1.MOTORS.SPARE.Temp"), nullptr);
        EXPECT_TRUE(doc().gbCfgOpen);
        EXPECT_TRUE(doc().gbCfgSaved);
        EXPECT_EQ(window->menuState(), state);
    }
    // A file whose reading skipped a part: saving it as it is would lose that part silently.
    prompts.clear();
    openFile(fixture("window_duplicate_branch.xml"));
    EXPECT_FALSE(prompts.messages().empty());
    EXPECT_TRUE(doc().gbCfgOpen);
    EXPECT_FALSE(doc().gbCfgSaved);
}

// Looks at the window whenever the import reports something.
class WatchingPrompts : public ScriptedPrompts {
public:
    frmEditing* window = nullptr;
    std::vector<State> states;
    std::vector<bool> panelShown;
    void message(const std::string& text, PromptIcon icon, const std::string& caption) override
    {
        states.push_back(window->menuState());
        panelShown.push_back(window->pnlImpStat()->isVisibleTo(window));
        ScriptedPrompts::message(text, icon, caption);
    }
};

TEST_F(FileCommandsTest, WhileImportingEveryCommandIsOffAndThePanelShows)
{
    WatchingPrompts watching;
    frmEditing w(watching);
    watching.window = &w;
    watching.queueFile(fixture("window_duplicate_branch.xml"));
    w.mnuOpenCfg_Click();
    ASSERT_EQ(watching.states.size(), 1u);  // the second GROUP
    EXPECT_NE(watching.messages().front().find(" in BrowseBranch"), std::string::npos);
    EXPECT_EQ(watching.states.front(), kImporting);
    EXPECT_TRUE(watching.panelShown.front());
    EXPECT_EQ(w.lblLabel()->text(), "Loading File ....");
    EXPECT_FALSE(w.pnlImpStat()->isVisibleTo(&w));
    EXPECT_EQ(w.menuState(), kAfterOpen);
}

TEST_F(FileCommandsTest, CloseAsksAboutThisConfigurationAndEmptiesTheWindow)
{
    newWithSample();
    prompts.queueAnswer(PromptAnswer::No);
    window->mnuCloseCfg_Click();
    EXPECT_EQ(prompts.questions(), std::vector<std::string>{kSaveThis});
    EXPECT_FALSE(doc().gbCfgOpen);
    EXPECT_FALSE(doc().collectionsExist());
    EXPECT_EQ(window->tree().count(), 0u);
    EXPECT_EQ(window->ListView1()->rowCount(), 0);
    EXPECT_FALSE(window->TreeView1()->isVisibleTo(window.get()));
    EXPECT_EQ(window->menuState(), kStartup);
}

TEST_F(FileCommandsTest, CloseWithACancelledSaveStaysOpen)
{
    newWithSample();
    prompts.queueAnswer(PromptAnswer::Yes);
    prompts.queueAnswer(PromptAnswer::No);  // not over the existing file ...
    prompts.queueFile(std::nullopt);        // ... and no other
    writeAll(defaultFile(), "old contents");
    window->mnuCloseCfg_Click();
    EXPECT_TRUE(doc().gbCfgOpen);
    EXPECT_NE(node("PLC1"), nullptr);
}

TEST_F(FileCommandsTest, ExitAsksOnce)
{
    newWithSample();
    window->show();
    prompts.queueAnswer(PromptAnswer::No);
    window->mnuExit_Click();
    EXPECT_EQ(prompts.questions(), std::vector<std::string>{kSaveActive});
    EXPECT_TRUE(window->unloaded());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FileCommandsTest, ExitWithYesSavesAndLeaves)
{
    newWithSample();
    prompts.queueAnswer(PromptAnswer::Yes);
    window->mnuExit_Click();
    EXPECT_EQ(prompts.questions(), std::vector<std::string>{kSaveActive});
    EXPECT_TRUE(std::filesystem::exists(defaultFile()));
    EXPECT_TRUE(window->unloaded());
}

TEST_F(FileCommandsTest, ExitStopsWhenTheSaveItAskedForDidNotHappen)
{
    struct Case {
        const char* name;
        bool fileThere;
        std::vector<PromptAnswer> answers;
    };
    const Case cases[] = {
        {"overwrite cancelled", true, {PromptAnswer::Yes, PromptAnswer::Cancel}},
        {"save as cancelled", true, {PromptAnswer::Yes, PromptAnswer::No}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        newWithSample();
        prompts.clear();
        window->show();
        if (c.fileThere)
            writeAll(defaultFile(), "old contents");
        for (PromptAnswer a : c.answers)
            prompts.queueAnswer(a);
        window->mnuExit_Click();
        EXPECT_FALSE(window->unloaded());
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(doc().gbCfgOpen);
        EXPECT_NE(node("PLC1.A"), nullptr);
        const std::vector<std::string> questions = prompts.questions();
        ASSERT_FALSE(questions.empty());
        EXPECT_EQ(questions.front(), kSaveActive);
        EXPECT_EQ(std::count(questions.begin(), questions.end(), kSaveActive), 1);
    }
}

TEST_F(FileCommandsTest, ExitStopsWhenTheWriteFailed)
{
    window->setProgramFolder((dir / "missing").string());
    newWithSample();
    prompts.queueAnswer(PromptAnswer::Yes);
    window->mnuExit_Click();
    EXPECT_FALSE(window->unloaded());
    EXPECT_FALSE(doc().gbCfgSaved);
}

TEST_F(FileCommandsTest, ClosingTheWindowAsksAndKeepsItWhenTheSaveDidNotHappen)
{
    newWithSample();
    window->show();
    writeAll(defaultFile(), "old contents");
    prompts.queueAnswer(PromptAnswer::Yes);
    prompts.queueAnswer(PromptAnswer::Cancel);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(prompts.questions().front(), kSaveActive);

    prompts.clear();
    prompts.queueAnswer(PromptAnswer::No);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(prompts.questions(), std::vector<std::string>{kSaveActive});
    EXPECT_TRUE(window->unloaded());
    EXPECT_FALSE(doc().collectionsExist());
}

TEST_F(FileCommandsTest, NothingIsAskedWhenTheWorkIsSaved)
{
    openFile(fixture("window_sample.xml"));
    prompts.clear();
    window->mnuCloseCfg_Click();
    openFile(fixture("window_sample.xml"));
    window->mnuExit_Click();
    EXPECT_TRUE(prompts.questions().empty());
    EXPECT_TRUE(window->unloaded());
}

}  // namespace

namespace {

TEST_F(FileCommandsTest, AFileFromTheCommandLineOpensWithItsFullPath)
{
    const std::filesystem::path copy = dir / "plant.xml";
    std::filesystem::copy_file(fixture("window_sample.xml"), copy);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    window->openAtStart("plant.xml");
    std::filesystem::current_path(before);
    EXPECT_EQ(count(Kind::OpenFile), 0);
    EXPECT_EQ(window->msConfigFileName, copy.string());
    EXPECT_EQ(root()->text(), copy.string());
    EXPECT_TRUE(doc().gbCfgSaved);
    EXPECT_NE(node("Oven2.ZONES.Alarm"), nullptr);
}

}  // namespace

TEST_F(FileCommandsTest, CsvExportOfABranchAndImportAsOneUndoStep)
{
    openFile(fixture("window_sample.xml"));
    window->TreeView1_NodeClick(node("Press1.MOTORS"));
    prompts.clear();

    const std::filesystem::path exported = dir / "motors.csv";
    prompts.queueFile(exported.string());
    window->mnuExportCsv_Click();
    const std::string csv = readAll(exported);
    EXPECT_EQ(csv.rfind("PLC,Branch,Name,Comment,Area,Address,Bit,Type,BCD,Elements,Access\r\n", 0), 0u);
    EXPECT_NE(csv.find("\r\nPress1,MOTORS.SPARE,Temp,"), std::string::npos);
    EXPECT_EQ(csv.find("Speed"), std::string::npos); // above the branch
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"4 items exported to " + exported.string()});

    // A failing row: nothing changes, and the message names the line.
    const std::filesystem::path bad = dir / "bad.csv";
    writeAll(bad, "PLC;Name;Branch;Comment;Area;Address;Bit;Type;BCD;Elements;Access\r\n"
                  "Press1;New;MOTORS;;DM;1;;VT_I2;BIN;;READ\r\n"
                  "Press1;Bad;MOTORS;;DM;99999;;VT_I2;BIN;;READ\r\n");
    prompts.clear();
    prompts.queueFile(bad.string());
    window->mnuImportCsv_Click();
    ASSERT_EQ(prompts.messages().size(), 1u);
    EXPECT_EQ(prompts.messages()[0], bad.string() + " was not imported; nothing was changed.\r\nline 3: Address field "
                                                    "is not valid. It must be between 0 and 65535.");
    EXPECT_EQ(node("Press1.MOTORS.New"), nullptr);
    EXPECT_EQ(window->undoStack()->count(), 0);
    EXPECT_TRUE(doc().gbCfgSaved);

    const std::filesystem::path good = dir / "good.csv";
    writeAll(good, "PLC,Branch,Name,Comment,Area,Address,Bit,Type,BCD,Elements,Access\r\n"
                   "Press1,MOTORS,New,,DM,1,,VT_I2,BIN,,READ\r\n"
                   "Press1,MOTORS.EXTRA,More,,DM,2,,VT_I2,BIN,,READ\r\n" +
                       csv.substr(csv.find("\r\n") + 2));
    prompts.clear();
    prompts.queueFile(good.string());
    window->mnuImportCsv_Click();
    EXPECT_EQ(prompts.messages(), std::vector<std::string>{"2 items added, 4 replaced, 1 branch created"});
    EXPECT_EQ(window->undoStack()->count(), 1);
    EXPECT_EQ(window->undoStack()->undoText(), "Import Items from CSV");
    EXPECT_FALSE(doc().gbCfgSaved);
    EXPECT_GE(window->ListView1()->findRow("Press1.MOTORS.New"), 0); // the list shows the result
    window->undoStack()->undo();
    EXPECT_EQ(node("Press1.MOTORS.New"), nullptr);
    EXPECT_EQ(node("Press1.MOTORS.EXTRA"), nullptr);
    EXPECT_FALSE(doc().gcolBranches.contains("Press1.MOTORS.EXTRA"));
    EXPECT_TRUE(doc().gbCfgSaved);
}
