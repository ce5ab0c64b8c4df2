// A user builds the demo configuration from nothing with the editor's dialogs and saves it;
// the server loads the saved file into the same PLCs, ports and tags as the shipped demo.
#include "editor/model/cls_item.h"
#include "editor/model/scripted_prompts.h"
#include "editor/ui/frm_branch.h"
#include "editor/ui/frm_editing.h"
#include "editor/ui/frm_items.h"
#include "editor/ui/frm_plc.h"
#include "tests/config/loader_fixture.h"
#include "tests/editor-ui/dialog_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

std::string demoPath()
{
    const char* source = std::getenv("VORLASK_SOURCE");
    return std::string(source ? source : ".") + "/examples/demo.xml";
}

std::string child(const pugi::xml_node& tag, const char* name) { return tag.child(name).text().as_string(); }

class EditorBuildsDemoTest : public LoaderTest {
protected:
    void SetUp() override
    {
        LoaderTest::SetUp();
        ensureQtApp();
        char pattern[] = "/tmp/pelmora-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("MOLV_REGISTRY_ROOT", (dir / "registry").c_str(), 1);
        editor = std::make_unique<frmEditing>(prompts);
        editor->setProgramFolder(dir.string());
    }
    void TearDown() override
    {
        editor.reset();
        unsetenv("MOLV_REGISTRY_ROOT");
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        LoaderTest::TearDown();
    }

    DocNode* node(const std::string& key) { return editor->tree().find(key); }

    void addPlc(const pugi::xml_node& plc)
    {
        editor->selectNode(editor->tree().root());
        whenModal([plc](QWidget* w) {
            auto* d = dynamic_cast<frmPLC*>(w);
            ASSERT_NE(d, nullptr);
            d->txtName->setText(plc.attribute("name").as_string());
            d->txtId->setText(plc.attribute("id").as_string());
            d->cmbPort->setCurrentText(plc.attribute("com").as_string());
            d->cmbBaud->setCurrentText(plc.attribute("baudrate").as_string());
            d->cmbParity->setCurrentText(plc.attribute("parity").as_string());
            d->cmbData->setCurrentText(plc.attribute("databits").as_string());
            d->cmbStop->setCurrentText(plc.attribute("stopbits").as_string());
            d->cmdApply->click();
        });
        editor->mnuAddPlc_Click();
        const std::string name = plc.attribute("name").as_string();
        ASSERT_NE(node(name), nullptr) << name;
        addChildren(plc.child("tags"), name);
    }

    void addBranch(const pugi::xml_node& branch, const std::string& parentKey)
    {
        editor->selectNode(node(parentKey));
        const std::string name = branch.name();
        whenModal([name](QWidget* w) {
            auto* d = dynamic_cast<frmBranch*>(w);
            ASSERT_NE(d, nullptr);
            d->txtBranchName->setText(QString::fromStdString(name));
            d->cmdOk->click();
        });
        editor->mnuAddBranch_Click();
        ASSERT_NE(node(parentKey + "." + name), nullptr) << name;
        addChildren(branch, parentKey + "." + name);
    }

    // One dialog for a run of sibling tags: "Add and Increment" for each but the last, which
    // goes with "Add and Exit".
    void addItems(const std::vector<pugi::xml_node>& tags, const std::string& parentKey)
    {
        editor->selectNode(node(parentKey));
        whenModal([tags](QWidget* w) {
            auto* d = dynamic_cast<frmItems*>(w);
            ASSERT_NE(d, nullptr);
            for (std::size_t i = 0; i < tags.size(); ++i) {
                const pugi::xml_node& tag = tags[i];
                const std::string channel = child(tag, "channel");
                const std::string datatype = child(tag, "datatype");
                const std::string word = datatype.substr(0, datatype.find('/'));
                d->cmbArea->setCurrentText(QString::fromStdString(channel.substr(0, 2)));
                d->cmbDataType->setCurrentText(QString::fromStdString(DataTypeFromVt(word)));
                d->txtItemName->clear();
                QTest::keyClicks(d->txtItemName, QString::fromStdString(child(tag, "name")));
                d->txtComment->setText(QString::fromStdString(child(tag, "comment")));
                d->txtAddress->setText(QString::fromStdString(channel.substr(2)));
                if (d->txtBit->isEnabled())
                    d->txtBit->setText(QString::fromStdString(child(tag, "databit")));
                if (d->txtElements->isEnabled())
                    d->txtElements->setText(QString::fromStdString(child(tag, "elements")));
                if (d->chkBcd->isEnabled())
                    d->chkBcd->setChecked(datatype.ends_with("/BCD"));
                d->cmbAccessRight->setCurrentText(QString::fromStdString(child(tag, "accessrights")));
                (i + 1 < tags.size() ? d->cmdAdd : d->cmdOk)->click();
            }
        });
        editor->mnuAddItem_Click();
    }

    void addChildren(const pugi::xml_node& parent, const std::string& parentKey)
    {
        std::vector<pugi::xml_node> run;
        for (const pugi::xml_node& c : parent.children()) {
            if (c.type() != pugi::node_element)
                continue;
            if (std::string(c.name()) == "tag") {
                run.push_back(c);
                continue;
            }
            if (!run.empty())
                addItems(run, parentKey);
            run.clear();
            addBranch(c, parentKey);
        }
        if (!run.empty())
            addItems(run, parentKey);
    }

    struct Loaded {
        std::vector<PortView> ports;
        std::vector<PlcView> plcs;
        std::map<std::string, TagView> tags;
    };
    Loaded loadIntoServer(const std::string& path)
    {
        TearDownServer();
        EXPECT_EQ(loadConfiguration(path, root.get(), &window), 1);
        Loaded out{ports(), plcs(), {}};
        for (const std::string& id : itemIds())
            out.tags.emplace(id, tag(id));
        return out;
    }
    // A fresh server state for the next load.
    void TearDownServer()
    {
        LoaderTest::TearDown();
        LoaderTest::SetUp();
    }

    std::filesystem::path dir;
    ScriptedPrompts prompts;
    std::unique_ptr<frmEditing> editor;
};

TEST_F(EditorBuildsDemoTest, DemoBuiltWithTheDialogsLoadsLikeTheShippedOne)
{
    pugi::xml_document demo;
    ASSERT_TRUE(demo.load_file(demoPath().c_str())) << demoPath();

    editor->mnuNewCfg_Click();
    for (const pugi::xml_node& plc : demo.child("MOLVOmronHLCfg").child("OPC_DA").children("PLC"))
        addPlc(plc);
    EXPECT_TRUE(prompts.messages().empty()) << prompts.messages().front();
    EXPECT_EQ(editor->document().gcolPlcs.count(), 3u);

    const std::string saved = (dir / "built.xml").string();
    prompts.queueFile(saved);
    editor->mnuSaveAs_Click();
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_TRUE(editor->document().gbCfgSaved);

    const Loaded expected = loadIntoServer(demoPath());
    const Loaded built = loadIntoServer(saved);
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(built.plcs, expected.plcs);
    EXPECT_EQ(built.ports, expected.ports);
    ASSERT_EQ(expected.tags.size(), 26u);
    std::vector<std::string> builtIds, expectedIds;
    for (const auto& [id, t] : built.tags)
        builtIds.push_back(id);
    for (const auto& [id, t] : expected.tags)
        expectedIds.push_back(id);
    EXPECT_EQ(builtIds, expectedIds);
    for (const auto& [id, t] : expected.tags) {
        auto it = built.tags.find(id);
        if (it != built.tags.end()) {
            EXPECT_EQ(it->second, t) << id;
        }
    }
}

} // namespace
