#include "server/config/plant_builder.h"

#include "server/polling/plc.h"
#include "server/polling/plc_list.h"
#include "server/tags/plc_tag.h"
#include "server/tags/server_classes.h"
#include "server/toolkit/node.h"

HostLinkChannel& plantChannel()
{
    return HostLinkChannel::create();
}

PlcList& plantPlcList()
{
    return createPlcList();
}

SODaSNode* plantRootNode(SODaSNameSpaceRoot* nameSpaceRoot)
{
    return nameSpaceRoot;
}

void addPlantPort(HostLinkChannel& channel, const std::string& name, std::uint32_t baudRate,
                  const std::string& parity, std::uint8_t stopBits, std::uint8_t dataBits)
{
    // A name already defined keeps its first settings; the channel sees to that.
    channel.addPort(name, baudRate, parity, stopBits, dataBits);
}

Plc* addPlantPlc(PlcList& plcs, const std::string& name, std::uint8_t unitNumber, const std::string& portName)
{
    SOCmnPointer<Plc> plc = makeObject<Plc>(name, unitNumber, portName);
    Plc* kept = plc.get();
    plcs.add(unitNumber, std::move(plc));
    return kept;
}

PlantBranch findOrAddPlantBranch(SODaSNode* parent, const std::string& name)
{
    if (!parent)
        return {};
    PlantBranch branch = parent->findBranch(name, 0);
    if (branch)
        return branch;
    branch = makeObject<ServerBranch>(name);
    parent->addBranch(branch);
    return branch;
}

void addPlantTag(SODaSNode* parent, const PlantTag& tag, Plc* plc)
{
    if (!parent)
        return;
    SOCmnPointer<PlcTag> leaf =
        makeObject<PlcTag>(tag.name, tag.accessRights, tag.bcd, tag.vartype, tag.comment, tag.address,
                           tag.area, tag.bit, tag.elements, plc);
    // Whether the name space took the leaf is not looked at: a refused leaf just goes away.
    parent->addLeaf(leaf);
}
