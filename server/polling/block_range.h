// The word range and buffer that every request block has, and the gap rules by which a tag or
// a request may join a block.
#pragma once

#include <cstdint>
#include <vector>

#include "common/format_vocab.h"

// Largest number of unused words between a tag and a cyclic or read block that is read rather
// than split into a second command.
inline constexpr int kReadGapWords = 25;
// Buffers get this much headroom so that small growths need no new allocation.
inline constexpr std::uint16_t kBufferHeadroom = 64;

class BlockRange {
public:
    // The range of the first tag; capacity is its word count rounded down to a multiple of 64,
    // plus 64.
    void start(MemoryArea area, std::uint16_t firstWord, std::uint16_t wordCount);
    // Grows the range to the smallest one covering the old range and the given words. When the
    // new length passes the capacity the buffer becomes wordCount + 64 words, keeping the old
    // contents only when asked (write blocks keep them, read blocks need not).
    void cover(std::uint16_t firstWord, std::uint16_t wordCount, bool keepContents);
    // Sets the range without touching the buffer (range recompute only shrinks it).
    void setRange(std::uint16_t firstWord, std::uint16_t wordCount);

    MemoryArea area() const { return area_; }
    std::uint16_t firstWord() const { return firstWord_; }
    std::uint16_t wordCount() const { return wordCount_; }
    // firstWord + wordCount - 1, as a signed number so that an empty range compares sanely.
    int lastWord() const { return int(firstWord_) + int(wordCount_) - 1; }
    std::uint16_t capacity() const { return static_cast<std::uint16_t>(buffer_.size()); }
    std::uint16_t* buffer() { return buffer_.data(); }
    const std::uint16_t* buffer() const { return buffer_.data(); }

private:
    MemoryArea area_ = MemoryArea::None;
    std::uint16_t firstWord_ = 0;
    std::uint16_t wordCount_ = 0;
    std::vector<std::uint16_t> buffer_;
};

// Cyclic and read blocks: same area, neither side an array, and no more than 25 unused words
// between the tag and the block on either side. Differences are signed, so a tag starting
// inside the block always passes.
bool passesReadGap(const BlockRange& block, bool blockHoldsArray, MemoryArea area,
                   std::uint16_t firstWord, bool isArray);
// Write blocks: same area, no arrays, and the request must start inside the block or right
// after its last word; a request starting before the block never joins. (A gap of one word
// would put a word that no request gave a value into the command.)
bool passesWriteGap(const BlockRange& block, bool blockHoldsArray, MemoryArea area,
                    std::uint16_t firstWord, bool isArray);

// Capacity for a first length: rounded down to a multiple of 64, plus 64.
std::uint16_t initialCapacity(std::uint16_t wordCount);
