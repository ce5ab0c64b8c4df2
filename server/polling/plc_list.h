// The configured PLCs in configuration order, keyed by unit number. Filled by the
// configuration loader before the polling thread starts and never changed while it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "server/polling/plc.h"
#include "server/toolkit/cmn_object.h"

class PlcList {
public:
    PlcList() = default;
    // Destroys every PLC's blocks first, so that the tags they hold (which hold their PLC)
    // let go, then releases the PLCs.
    ~PlcList();
    PlcList(const PlcList&) = delete;
    PlcList& operator=(const PlcList&) = delete;

    // Appends the PLC with its unit number as key; the list keeps a reference. Two PLCs may
    // share a unit number on different ports: both are kept, in order.
    void add(std::uint8_t unitNumber, SOCmnPointer<Plc> plc);

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    // nullptr out of range.
    Plc* at(std::size_t index) const;
    // The first PLC added with this unit number; nullptr when none.
    Plc* findByUnit(std::uint8_t unitNumber) const;
    // The PLCs in configuration order (the list does not change while the server runs).
    std::vector<Plc*> plcs() const;

    // The list's own lock, held while a polling cursor advances.
    std::unique_lock<std::recursive_mutex> lock() const { return std::unique_lock(mutex_); }

private:
    struct Entry {
        std::uint8_t unitNumber;
        SOCmnPointer<Plc> plc;
    };
    mutable std::recursive_mutex mutex_;
    std::vector<Entry> entries_;
};

// The server's PLC list: created at start-up (nothing happens when it exists), filled by the
// loader, destroyed at shutdown after the polling thread has ended.
PlcList& createPlcList();
PlcList* plcList();
void destroyPlcList();
