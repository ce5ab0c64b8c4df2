// The walk through one parsed configuration file: SETTINGS, the PLC elements of an OPC_DA
// element, and the tags and branches below a PLC.
#pragma once

#include <cstddef>
#include <string>

#include <pugixml.hpp>

class ConfigDocument;
class HostLinkChannel;
class LoadReport;
class Plc;
class PlcList;
class SODaSNode;

// What the walk writes into, and where it tells about faults it met.
struct ConfigTarget {
    const ConfigDocument& document;
    LoadReport& report;
    HostLinkChannel& channel;
    PlcList& plcs;
};

// Branches nested deeper than this are reported and not read, so that no file can exhaust
// the stack of the walk or of the name space.
inline constexpr std::size_t kMaxBranchDepth = 200;

// One SETTINGS element: a new defaultPortName and that port's definition.
void loadSettings(const pugi::xml_node& settings, ConfigTarget& target);
// The children of one OPC_DA element.
void loadPlcs(const pugi::xml_node& devices, SODaSNode* nameSpaceRoot, ConfigTarget& target);
// The children of one tags or branch element, into parent, for plc; depth counts the branch
// levels below the PLC's branch.
void loadTagLevel(const pugi::xml_node& level, SODaSNode* parent, Plc* plc, ConfigTarget& target,
                  std::size_t depth = 0);
