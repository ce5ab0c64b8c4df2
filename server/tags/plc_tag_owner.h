// The narrow seam between a tag and the PLC whose memory it maps.
//
// A PlcTag holds a counted reference to its owner; the polling side's Plc implements this
// interface (and is the counted object itself). The tag needs exactly one thing of its PLC:
// when a client write changes the length of a string or array tag that sits in a cyclic block,
// the PLC must take the tag out of that block and add it again at the block's update rate, so
// that later scans read the new length.
//
// Ownership: the tag's reference keeps the Plc alive; the Plc's blocks hold references on their
// tags. That cycle is broken when the PLC list is destroyed at shutdown (the Plc drops its
// blocks first).
#pragma once

#include "server/toolkit/cmn_object.h"

class PlcTag;
class CyclicBlock;

class PlcTagOwner : public SOCmnObject {
public:
    // tag is in a CyclicBlock of this PLC (tag.inBlock(), tag.block()) and its wordCount has
    // just changed: remove it from its block and add it again at that block's update rate.
    // Called on the polling thread from takeWriteWords, with requestLock held.
    virtual void readdResizedTag(PlcTag& tag) = 0;

protected:
    ~PlcTagOwner() override = default;
};
