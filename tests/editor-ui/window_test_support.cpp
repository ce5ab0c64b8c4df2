#include "tests/editor-ui/window_test_support.h"

#include <cstdlib>
#include <stdexcept>

void WindowTest::SetUp()
{
    QtWidgetTest::SetUp();
    char pattern[] = "/tmp/pelmora-window-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("no temporary folder");
    dir = pattern;
    registryRoot = dir / "registry";
    setenv("MOLV_REGISTRY_ROOT", registryRoot.c_str(), 1);
    window = std::make_unique<frmEditing>(prompts);
    window->setProgramFolder(dir.string());
}

void WindowTest::TearDown()
{
    window.reset();
    unsetenv("MOLV_REGISTRY_ROOT");
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

std::string sourceFolder()
{
    const char* source = std::getenv("VORLASK_SOURCE");
    return source && *source ? source : PELMORA_TEST_SOURCE;
}

std::string programFolder()
{
    const char* bin = std::getenv("VORLASK_BIN");
    return bin && *bin ? bin : PELMORA_TEST_BIN;
}

std::string WindowTest::fixture(const std::string& name)
{
    return sourceFolder() + "/tests/editor-ui/fixtures/" + name;
}

void WindowTest::openFile(const std::string& path)
{
    prompts.queueFile(path);
    window->mnuOpenCfg_Click();
}

clsPLC& WindowTest::addPlc(const std::string& name, int id)
{
    auto plc = std::make_shared<clsPLC>();
    plc->SetByForm(PlcFormFields{name, std::to_string(id), "COM1", "19200", "2", "7", "EVEN"});
    doc().gcolPlcs.add(plc->sKey(), plc);
    window->tree().add(root(), name, name, "plc", "plc", "plc");
    doc().gbCfgSaved = false;
    return *plc;
}

clsBranch& WindowTest::addBranch(const std::string& parentKey, const std::string& name)
{
    auto branch = std::make_shared<clsBranch>();
    branch->sName = name;
    branch->sKey = parentKey + "." + name;
    doc().gcolBranches.add(branch->sKey, branch);
    window->tree().addChild(parentKey, branch->sKey, name, "branch", "branch", "branch");
    doc().gbCfgSaved = false;
    return *branch;
}

clsItem& WindowTest::addItem(const std::string& parentKey, const std::string& name, const std::string& dataType,
                             int address, int bit, int elements, const std::string& comment)
{
    auto item = std::make_shared<clsItem>();
    item->sName = name;
    item->sKey = parentKey + "." + name;
    item->sDataType = dataType;
    item->nAddress = address;
    item->nBitNumber = static_cast<std::int16_t>(bit);
    item->nElements = static_cast<std::int16_t>(elements);
    item->sArea = "DM";
    item->sAccessRight = "READWRITE";
    item->sComment = comment;
    doc().gcolItems.add(item->sKey, item);
    window->tree().addChild(parentKey, item->sKey, name, "item", "item", "item");
    doc().gbCfgSaved = false;
    return *item;
}

void WindowTest::newWithSample()
{
    window->mnuNewCfg_Click();
    addPlc("PLC1", 3);
    addBranch("PLC1", "A");
    addItem("PLC1.A", "T2", "signed 16 bit", 20, 0, 0, "second");
    addItem("PLC1.A", "T1", "boolean", 10, 4, 0, "first");
    addBranch("PLC1.A", "Z");
    addItem("PLC1", "X", "32 bit float", 30);
}
