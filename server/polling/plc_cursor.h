// A polling worker's cursor over the PLCs it serves: the current PLC, its index, and the PLC
// number whose port is open at the moment (0: none).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class Plc;

class PlcCursor {
public:
    explicit PlcCursor(std::vector<Plc*> plcs) : plcs_(std::move(plcs)) { setCurrent(0); }

    const std::vector<Plc*>& plcs() const { return plcs_; }
    Plc* current() const { return current_; }
    std::size_t currentIndex() const { return index_; }
    std::uint16_t openPlcNumber() const { return open_; }
    void setOpenPlcNumber(std::uint16_t number) { open_ = number; }

    void setCurrent(std::size_t index) {
        index_ = index < plcs_.size() ? index : 0;
        current_ = plcs_.empty() ? nullptr : plcs_[index_];
    }
    // Moves to the next PLC, wrapping to the first.
    void advance() { setCurrent(index_ + 1); }
    // Points at the first PLC but keeps the index, as a rebuilt route table does: the PLC
    // after the one that failed is served next.
    void rewindKeepingIndex() { current_ = plcs_.empty() ? nullptr : plcs_.front(); }

private:
    std::vector<Plc*> plcs_;
    Plc* current_ = nullptr;
    std::size_t index_ = 0;
    std::uint16_t open_ = 0;
};
