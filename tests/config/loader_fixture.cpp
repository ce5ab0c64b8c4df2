#include "tests/config/loader_fixture.h"

#include <fstream>
#include <ostream>
#include <unistd.h>

namespace {

void collect(const SODaSNode& node, std::vector<std::string>& leaves, std::vector<std::string>& branches)
{
    for (const auto& leaf : node.getLeafList())
        leaves.push_back(leaf->getItemID());
    for (const auto& branch : node.getBranchList()) {
        branches.push_back(branch->getItemID());
        collect(*branch, leaves, branches);
    }
}

} // namespace

void PrintTo(const PortView& p, std::ostream* os)
{
    *os << "{" << p.name << " " << p.baudRate << " parity " << p.parity << " stop " << p.stopBits << " data "
        << p.dataBits << "}";
}

void PrintTo(const PlcView& p, std::ostream* os)
{
    *os << "{" << p.name << " unit " << p.unit << " on " << p.port << "}";
}

void PrintTo(const TagView& t, std::ostream* os)
{
    *os << "{rights " << int(t.rights) << " bcd " << t.bcd << " vt 0x" << std::hex << t.vartype << std::dec
        << " \"" << t.description << "\" addr " << t.address << " area " << int(t.area) << " bit " << t.bit
        << " elements " << t.elements << " unit " << t.ownerUnit << "}";
}

void LoaderTest::SetUp()
{
    HostLinkChannel::create();
    createPlcList();
    defaultPortName = "COM1";
    root = makeObject<SODaSNameSpaceRoot>();
    root->setTreeDelimiter('.', "", "");
}

void LoaderTest::TearDown()
{
    root->clearChildren();
    root.reset();
    destroyPlcList();
    HostLinkChannel::destroy();
    defaultPortName = "COM1";
}

std::string LoaderTest::fixturePath(const std::string& name)
{
    const char* source = std::getenv("VORLASK_SOURCE");
    return std::string(source ? source : ".") + "/tests/config/fixtures/" + name;
}

int LoaderTest::load(const std::string& fixture)
{
    return loadConfiguration(fixturePath(fixture), root.get(), &window);
}

int LoaderTest::loadText(const std::string& text)
{
    char path[] = "/tmp/vorlask-config-XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    std::ofstream(path, std::ios::binary) << text;
    const int result = loadConfiguration(path, root.get(), &window);
    unlink(path);
    return result;
}

std::vector<PortView> LoaderTest::ports() const
{
    std::vector<PortView> out;
    for (const auto& port : HostLinkChannel::instance()->ports()) {
        const SerialSettings& s = port->settings();
        out.push_back({port->name(), s.baudRate, s.parity, s.stopBits, s.dataBits});
    }
    return out;
}

std::vector<PlcView> LoaderTest::plcs() const
{
    std::vector<PlcView> out;
    for (const Plc* plc : plcList()->plcs())
        out.push_back({plc->name(), plc->unitNumber(), plc->portName()});
    return out;
}

std::vector<std::string> LoaderTest::itemIds() const
{
    std::vector<std::string> leaves, branches;
    collect(*root, leaves, branches);
    return leaves;
}

std::vector<std::string> LoaderTest::branchPaths() const
{
    std::vector<std::string> leaves, branches;
    collect(*root, leaves, branches);
    return branches;
}

TagView LoaderTest::tag(const std::string& itemId) const
{
    const SOCmnPointer<SODaSTag> leaf = root->findItem(itemId);
    const auto* plcTag = dynamic_cast<const PlcTag*>(leaf.get());
    if (!plcTag) {
        ADD_FAILURE() << "no tag " << itemId;
        return {};
    }
    const SOCmnPointer<SODaSProperty> description = plcTag->getProperty(kPropertyDescription);
    const auto* owner = dynamic_cast<const Plc*>(plcTag->owner());
    return {plcTag->getAccessRights(),
            plcTag->bcd(),
            plcTag->getNativeDatatype(),
            description ? description->getConstantValue().str() : "<none>",
            plcTag->address(),
            plcTag->area(),
            plcTag->bit(),
            plcTag->elements(),
            owner ? owner->unitNumber() : -1};
}

std::vector<std::string> LoaderTest::boxTexts() const
{
    std::vector<std::string> out;
    for (const auto& box : window.boxes) {
        EXPECT_EQ(box.second, "OPC OMRON Server");
        out.push_back(box.first);
    }
    return out;
}
