// PlcTag: one OPC item bound to a run of words in one PLC memory area.
//
// Thread rules. Name, datatype, rights, BCD, address, area and bit never change after
// construction. elements changes only on the polling thread (takeWriteWords) and may be read
// anywhere. The active-items list, inBlock and block are guarded by requestLock. listRow belongs
// to the status window's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/format_vocab.h"
#include "server/tags/plc_tag_owner.h"
#include "server/toolkit/tag.h"

class ServerItem;
class CyclicBlock;

// Words of a datatype at an area, bit and element count (the datatype table); 0 for a
// datatype outside it.
std::uint16_t wordCountFor(std::uint16_t nativeDatatype, MemoryArea area, std::uint16_t bit, std::uint16_t elements);
// Whether the BCD flag is accepted by the datatype (VT_UI2, VT_UI4 and their arrays; VT_BSTR
// ignores it).
bool bcdAccepted(std::uint16_t nativeDatatype);

class PlcTag : public SODaSTag {
public:
    // Builds the tag as the loader asks: name, rights, device I/O mode 1, BCD flag, native
    // datatype, first cache value (arrays of elements zeros, a string of elements blanks,
    // otherwise only good quality), property 101 with the description, then the fields, and a
    // counted reference on owner (which may be null in tests).
    PlcTag(const std::string& name, std::uint8_t accessRights, bool bcd, std::uint16_t nativeDatatype,
           const std::string& description, std::uint16_t address, MemoryArea area, std::uint16_t bit,
           std::uint16_t elements, PlcTagOwner* owner);

    // Device reads go to readRequestList, writes to writeRequestList; other reads complete at
    // once (result 0, quality not valid, quality 0x40).
    void handleRequest(SODaSRequest* request) override;

    // ---- fields ----
    // The client items on this tag that are active now (not counted). requestLock.
    std::vector<ServerItem*>& activeItems() { return activeItems_; }
    const std::vector<ServerItem*>& activeItems() const { return activeItems_; }
    std::size_t activeItemCount() const { return activeItems_.size(); }

    bool inBlock() const { return inBlock_ != 0; }      // requestLock
    void setInBlock(bool in) { inBlock_ = in ? 1 : 0; } // requestLock
    CyclicBlock* block() const { return block_; }       // requestLock
    void setBlock(CyclicBlock* block) { block_ = block; }

    PlcTagOwner* owner() const { return owner_.get(); }

    std::uint16_t address() const { return address_; }
    MemoryArea area() const { return area_; }
    std::uint16_t bit() const { return bit_; }
    bool bcd() const { return bcd_ != 0; }
    std::uint16_t elements() const { return elements_.load(std::memory_order_acquire); }
    void setElements(std::uint16_t n) { elements_.store(n, std::memory_order_release); }
    std::int32_t listRow() const { return listRow_; }
    void setListRow(std::int32_t row) { listRow_ = row; }

    // PLC words the value occupies now (changes with elements).
    std::uint16_t wordCount() const;
    bool isArray() const { return (getNativeDatatype() & vt::ARRAY) != 0; }
    bool isBoolean() const { return (getNativeDatatype() & ~vt::ARRAY) == vt::BOOL; }

protected:
    ~PlcTag() override;

private:
    std::vector<ServerItem*> activeItems_;
    std::uint8_t inBlock_ = 0;
    SOCmnPointer<PlcTagOwner> owner_;
    CyclicBlock* block_ = nullptr;
    const std::uint16_t address_;
    const MemoryArea area_;
    const std::uint16_t bit_;
    const std::uint8_t bcd_;
    std::atomic<std::uint16_t> elements_;
    std::int32_t listRow_ = -1;
};

inline std::uint16_t wordCount(const PlcTag& tag) { return tag.wordCount(); }
