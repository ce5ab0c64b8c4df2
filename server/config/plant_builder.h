// Where the loader's findings go: ports into the HostLinkChannel, Plc objects into the PLC
// list, branch and tag nodes into the toolkit's name space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/format_vocab.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/toolkit/cmn_object.h"
#include "server/toolkit/node.h"

class Plc;
class PlcList;

// Port names longer than this cannot be defined in the channel.
inline constexpr std::size_t kPortNameLimit = kPortNameMax;

using PlantBranch = SOCmnPointer<SODaSNode>;

// The values of one tag, as its constructor takes them.
struct PlantTag {
    std::string name;
    std::uint8_t accessRights = 0;
    bool bcd = false;
    std::uint16_t vartype = 0;
    std::string comment;
    std::uint16_t address = 0;
    MemoryArea area = MemoryArea::None;
    std::uint16_t bit = 0;
    std::uint16_t elements = 0;
};

// The server's channel and PLC list, made when start-up has not made them yet.
HostLinkChannel& plantChannel();
PlcList& plantPlcList();
SODaSNode* plantRootNode(SODaSNameSpaceRoot* nameSpaceRoot);

void addPlantPort(HostLinkChannel& channel, const std::string& name, std::uint32_t baudRate,
                  const std::string& parity, std::uint8_t stopBits, std::uint8_t dataBits);
// The new Plc, owned by the list from here on.
Plc* addPlantPlc(PlcList& plcs, const std::string& name, std::uint8_t unitNumber, const std::string& portName);
// The child branch of that name, made and added when parent has none; empty without a parent.
PlantBranch findOrAddPlantBranch(SODaSNode* parent, const std::string& name);
// A new PlcTag as a leaf of parent (nothing without a parent).
void addPlantTag(SODaSNode* parent, const PlantTag& tag, Plc* plc);
