#include "server/polling/plc_list.h"

#include <memory>

PlcList::~PlcList() {
    // Blocks hold tags and tags hold their PLC: break that cycle before letting go.
    for (Entry& e : entries_)
        e.plc->destroyBlocks();
    entries_.clear();
}

void PlcList::add(std::uint8_t unitNumber, SOCmnPointer<Plc> plc) {
    if (!plc)
        return;
    std::lock_guard lock(mutex_);
    entries_.push_back({unitNumber, std::move(plc)});
}

std::size_t PlcList::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

Plc* PlcList::at(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < entries_.size() ? entries_[index].plc.get() : nullptr;
}

Plc* PlcList::findByUnit(std::uint8_t unitNumber) const {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
        if (e.unitNumber == unitNumber)
            return e.plc.get();
    }
    return nullptr;
}

std::vector<Plc*> PlcList::plcs() const {
    std::lock_guard lock(mutex_);
    std::vector<Plc*> out;
    out.reserve(entries_.size());
    for (const Entry& e : entries_)
        out.push_back(e.plc.get());
    return out;
}

namespace {
std::unique_ptr<PlcList> gPlcList;
}

PlcList& createPlcList() {
    if (!gPlcList)
        gPlcList = std::make_unique<PlcList>();
    return *gPlcList;
}

PlcList* plcList() { return gPlcList.get(); }

void destroyPlcList() { gPlcList.reset(); }
