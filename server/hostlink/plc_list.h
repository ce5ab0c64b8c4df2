// The configured PLCs in configuration order, keyed by unit number, and the polling thread's
// cursor over them. Filled by the configuration loader before the polling thread starts and
// never changed while it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "server/hostlink/plc.h"
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

    // The list's own lock, held while the cursor advances.
    std::unique_lock<std::recursive_mutex> lock() const { return std::unique_lock(mutex_); }

    // ---- the polling thread's cursor ----
    Plc* current() const { return current_; }
    std::size_t currentIndex() const { return currentIndex_; }
    std::uint16_t openPlcNumber() const { return openPlcNumber_; }
    void setCurrent(std::size_t index);
    void setOpenPlcNumber(std::uint16_t number) { openPlcNumber_ = number; }
    // Moves the cursor to the next PLC, wrapping to the first.
    void advance();
    // Points the cursor at the first PLC but keeps its index, as a rebuilt route table does:
    // the PLC after the one that failed is served next.
    void rewindKeepingIndex();

private:
    struct Entry {
        std::uint8_t unitNumber;
        SOCmnPointer<Plc> plc;
    };
    mutable std::recursive_mutex mutex_;
    std::vector<Entry> entries_;
    Plc* current_ = nullptr;
    std::size_t currentIndex_ = 0;
    std::uint16_t openPlcNumber_ = 0;
};

// The server's PLC list: created at start-up (nothing happens when it exists), filled by the
// loader, destroyed at shutdown after the polling thread has ended.
PlcList& createPlcList();
PlcList* plcList();
void destroyPlcList();
