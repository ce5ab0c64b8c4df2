#include "server/config/config_walk.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "server/config/config_document.h"
#include "server/config/config_loader.h"
#include "server/config/config_words.h"
#include "server/config/load_report.h"
#include "server/config/node_values.h"
#include "server/config/plant_builder.h"

namespace {

// The line's usual settings, for a PLC or SETTINGS element that leaves one out.
constexpr std::uint32_t kDefaultUnit = 0;
constexpr std::uint32_t kDefaultBaudRate = 9600;
constexpr const char* kDefaultParity = "EVEN";
constexpr std::uint32_t kDefaultStopBits = 2;
constexpr std::uint32_t kDefaultDataBits = 7;

bool named(const pugi::xml_node& node, const char* name)
{
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

void complain(ConfigTarget& target, const pugi::xml_node& element, const std::string& text)
{
    const std::size_t offset = target.document.fileOffset(element);
    target.report.add(target.document.fileLine(offset), offset, text);
}

// Values in messages are cut short: a message box is no place for a runaway attribute.
std::string quoted(const std::string& text)
{
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown)
        return "\"" + text + "\"";
    return "\"" + text.substr(0, kShown) + "...\"";
}

std::string widthRange(unsigned width)
{
    return width == 8 ? "0 to 255" : width == 16 ? "0 to 65535" : "0 to 4294967295";
}

// A number attribute: its value, or why it could not be taken.
struct NumberAttribute {
    const char* name;
    unsigned width;
    std::uint32_t value;
    NodeNumber read = NodeNumber::Absent;
};

// The attributes a PLC and SETTINGS share: the line settings of one port.
struct PortAttributes {
    std::string com;
    bool hasCom = false;
    NumberAttribute baudRate{"baudrate", 32, kDefaultBaudRate};
    std::string parity = kDefaultParity;
    bool hasParity = false;
    NumberAttribute stopBits{"stopbits", 8, kDefaultStopBits};
    NumberAttribute dataBits{"databits", 8, kDefaultDataBits};
};

void readNumberAttribute(const pugi::xml_node& element, NumberAttribute& number)
{
    number.read = readNodeNumber(element.attribute(number.name), number.width, number.value);
}

// Reports the first attribute that is not a number of its width; true when there is one.
bool reportInvalid(ConfigTarget& target, const pugi::xml_node& element, const std::string& what,
                   std::initializer_list<const NumberAttribute*> numbers)
{
    for (const NumberAttribute* number : numbers) {
        if (number->read != NodeNumber::Invalid)
            continue;
        complain(target, element,
                 what + ": " + number->name + "=" + quoted(narrowText(element.attribute(number->name).value())) +
                     " is not a number from " + widthRange(number->width) + "; it is not loaded");
        return true;
    }
    return false;
}

// Lists the settings that were left out and the values taken instead.
void reportDefaults(ConfigTarget& target, const pugi::xml_node& element, const std::string& what,
                    const std::vector<std::string>& taken)
{
    if (taken.empty())
        return;
    std::string text = what + " has no ";
    std::string values;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        const std::size_t eq = taken[i].find('=');
        text += (i ? ", " : "") + taken[i].substr(0, eq);
        values += (i ? " " : "") + taken[i];
    }
    complain(target, element, text + " attribute; using " + values);
}

void noteLineDefaults(const PortAttributes& port, std::vector<std::string>& taken)
{
    if (port.baudRate.read == NodeNumber::Absent)
        taken.push_back("baudrate=" + std::to_string(kDefaultBaudRate));
    if (!port.hasParity)
        taken.push_back(std::string("parity=") + kDefaultParity);
    if (port.stopBits.read == NodeNumber::Absent)
        taken.push_back("stopbits=" + std::to_string(kDefaultStopBits));
    if (port.dataBits.read == NodeNumber::Absent)
        taken.push_back("databits=" + std::to_string(kDefaultDataBits));
}

void checkPortNameLength(ConfigTarget& target, const pugi::xml_node& element, const std::string& what,
                         const std::string& com)
{
    if (com.size() > kPortNameLimit)
        complain(target, element,
                 what + ": port name " + quoted(com) + " is longer than " + std::to_string(kPortNameLimit) +
                     " characters; no port of that name can be defined");
}

void definePort(ConfigTarget& target, const PortAttributes& port)
{
    addPlantPort(target.channel, port.com, port.baudRate.value, port.parity,
                 static_cast<std::uint8_t>(port.stopBits.value), static_cast<std::uint8_t>(port.dataBits.value));
}

// What one tag element holds; absent children keep these values.
struct TagValues {
    std::string name;
    std::string comment;
    std::string dataType;
    std::string accessWord;
    MemoryArea area = MemoryArea::None;
    std::uint16_t address = 0;
    std::uint32_t bit = 0;
    std::uint32_t elements = 0;
    // Why a number child could not be taken; a later valid child of the same name clears it.
    std::string badChannel, badBit, badElements;
};

void readTagChild(const pugi::xml_node& child, TagValues& tag)
{
    const char* name = child.name();
    if (std::strcmp(name, "name") == 0) {
        readNodeText(child, tag.name);
    } else if (std::strcmp(name, "comment") == 0) {
        readNodeText(child, tag.comment);
    } else if (std::strcmp(name, "channel") == 0) {
        std::string channel;
        if (readNodeText(child, channel)) {
            MemoryArea area;
            std::uint16_t address = 0;
            if (parseChannel(channel, area, address) == ChannelRead::Read) {
                tag.area = area;
                tag.address = address;
                tag.badChannel.clear();
            } else {
                tag.badChannel = "channel " + quoted(channel) + " has a word address above 65535";
            }
        }
    } else if (std::strcmp(name, "databit") == 0 || std::strcmp(name, "elements") == 0) {
        const bool isBit = name[0] == 'd';
        std::uint32_t value = 0;
        const NodeNumber read = readNodeNumber(child, 16, value);
        std::string& bad = isBit ? tag.badBit : tag.badElements;
        if (read == NodeNumber::Read) {
            (isBit ? tag.bit : tag.elements) = value;
            bad.clear();
        } else if (read == NodeNumber::Invalid) {
            bad = std::string(name) + " " + quoted(narrowText(child.child_value())) + " is not a number from " +
                  widthRange(16);
        }
    } else if (std::strcmp(name, "datatype") == 0) {
        readNodeText(child, tag.dataType);
    } else if (std::strcmp(name, "accessrights") == 0) {
        readNodeText(child, tag.accessWord);
    }
}

void loadTag(const pugi::xml_node& element, SODaSNode* parent, Plc* plc, ConfigTarget& target)
{
    TagValues tag;
    for (const pugi::xml_node& child : element.children())
        if (child.type() == pugi::node_element)
            readTagChild(child, tag);

    for (const std::string* bad : {&tag.badChannel, &tag.badBit, &tag.badElements}) {
        if (!bad->empty()) {
            complain(target, element, "tag " + quoted(tag.name) + ": " + *bad + "; the tag is not loaded");
            return;
        }
    }

    PlantTag values;
    values.name = tag.name;
    values.accessRights = parseAccessRights(tag.accessWord);
    values.bcd = parseDataType(tag.dataType, values.vartype);
    values.comment = tag.comment;
    values.address = tag.address;
    values.area = tag.area;
    values.bit = static_cast<std::uint16_t>(tag.bit);
    values.elements = static_cast<std::uint16_t>(tag.elements);
    addPlantTag(parent, values, plc);
}

} // namespace

void loadSettings(const pugi::xml_node& settings, ConfigTarget& target)
{
    PortAttributes port;
    port.hasCom = readNodeText(settings.attribute("com"), port.com);
    readNumberAttribute(settings, port.baudRate);
    port.hasParity = readNodeText(settings.attribute("parity"), port.parity);
    readNumberAttribute(settings, port.stopBits);
    readNumberAttribute(settings, port.dataBits);

    const std::string what = "SETTINGS";
    if (reportInvalid(target, settings, what, {&port.baudRate, &port.stopBits, &port.dataBits}))
        return;
    // Without a port name there is nothing to define, and the default port name stays.
    if (!port.hasCom)
        return;
    std::vector<std::string> taken;
    noteLineDefaults(port, taken);
    reportDefaults(target, settings, what, taken);
    checkPortNameLength(target, settings, what, port.com);

    defaultPortName = port.com;
    definePort(target, port);
}

void loadPlcs(const pugi::xml_node& devices, SODaSNode* nameSpaceRoot, ConfigTarget& target)
{
    for (const pugi::xml_node& element : devices.children()) {
        if (!named(element, "PLC"))
            continue;

        std::string name;
        const bool hasName = readNodeText(element.attribute("name"), name);
        NumberAttribute unit{"id", 16, kDefaultUnit};
        readNumberAttribute(element, unit);
        PortAttributes port;
        port.hasCom = readNodeText(element.attribute("com"), port.com);
        readNumberAttribute(element, port.baudRate);
        port.hasParity = readNodeText(element.attribute("parity"), port.parity);
        readNumberAttribute(element, port.stopBits);
        readNumberAttribute(element, port.dataBits);

        const std::string what = hasName ? "PLC " + quoted(name) : "PLC without a name";
        if (reportInvalid(target, element, what, {&unit, &port.baudRate, &port.stopBits, &port.dataBits}))
            continue;

        // Only what is used is worth a word: the unit of a named PLC, the line of a named port.
        std::vector<std::string> taken;
        if (hasName && unit.read == NodeNumber::Absent)
            taken.push_back("id=" + std::to_string(kDefaultUnit));
        if (port.hasCom)
            noteLineDefaults(port, taken);
        reportDefaults(target, element, what, taken);

        std::string portName;
        if (port.hasCom) {
            checkPortNameLength(target, element, what, port.com);
            definePort(target, port);
            portName = port.com;
        } else {
            portName = defaultPortName;
        }

        if (!hasName)
            continue;
        if (unit.value > 0xFF)
            complain(target, element,
                     what + ": unit number " + std::to_string(unit.value) + " has more than 8 bits; unit " +
                         std::to_string(unit.value & 0xFF) + " is used");

        Plc* plc = addPlantPlc(target.plcs, name, static_cast<std::uint8_t>(unit.value & 0xFF), portName);
        PlantBranch branch = findOrAddPlantBranch(nameSpaceRoot, name);
        for (const pugi::xml_node& child : element.children())
            if (named(child, "tags"))
                loadTagLevel(child, branch.get(), plc, target);
    }
}

void loadTagLevel(const pugi::xml_node& level, SODaSNode* parent, Plc* plc, ConfigTarget& target,
                  std::size_t depth)
{
    for (const pugi::xml_node& element : level.children()) {
        if (element.type() != pugi::node_element)
            continue;
        if (std::strcmp(element.name(), "tag") == 0) {
            if (hasChildNodes(element))
                loadTag(element, parent, plc, target);
            continue;
        }
        if (depth >= kMaxBranchDepth) {
            complain(target, element,
                     "branch " + quoted(narrowText(element.name())) + " lies more than " +
                         std::to_string(kMaxBranchDepth) + " branches deep; it is not loaded");
            continue;
        }
        PlantBranch branch = findOrAddPlantBranch(parent, narrowText(element.name()));
        if (hasChildNodes(element))
            loadTagLevel(element, branch.get(), plc, target, depth + 1);
    }
}
