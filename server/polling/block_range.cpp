#include "server/polling/block_range.h"

#include <algorithm>

std::uint16_t initialCapacity(std::uint16_t wordCount) {
    return static_cast<std::uint16_t>((wordCount / kBufferHeadroom) * kBufferHeadroom +
                                      kBufferHeadroom);
}

void BlockRange::start(MemoryArea area, std::uint16_t firstWord, std::uint16_t wordCount) {
    area_ = area;
    firstWord_ = firstWord;
    wordCount_ = wordCount;
    buffer_.assign(initialCapacity(wordCount), 0);
}

void BlockRange::cover(std::uint16_t firstWord, std::uint16_t wordCount, bool keepContents) {
    const int first = std::min<int>(firstWord_, firstWord);
    const int last = std::max<int>(lastWord(), int(firstWord) + int(wordCount) - 1);
    // A block never reaches past the 16-bit word range.
    const int count = std::min(last - first + 1, 0xFFFF - kBufferHeadroom);
    const int shift = int(firstWord_) - first;
    firstWord_ = static_cast<std::uint16_t>(first);
    wordCount_ = static_cast<std::uint16_t>(count);
    if (wordCount_ > capacity()) {
        std::vector<std::uint16_t> grown(std::size_t(wordCount_) + kBufferHeadroom, 0);
        if (keepContents) {
            // The old words move with their addresses when the range grew downwards.
            const std::size_t keep = std::min(buffer_.size(), grown.size() - std::size_t(shift));
            std::copy_n(buffer_.begin(), keep, grown.begin() + shift);
        }
        buffer_.swap(grown);
    }
}

void BlockRange::setRange(std::uint16_t firstWord, std::uint16_t wordCount) {
    firstWord_ = firstWord;
    wordCount_ = wordCount;
}

bool passesReadGap(const BlockRange& block, bool blockHoldsArray, MemoryArea area,
                   std::uint16_t firstWord, bool isArray) {
    if (area != block.area() || isArray || blockHoldsArray)
        return false;
    if (firstWord >= block.firstWord())
        return int(firstWord) - block.lastWord() - 1 <= kReadGapWords;
    return int(block.firstWord()) - int(firstWord) <= kReadGapWords;
}

bool passesWriteGap(const BlockRange& block, bool blockHoldsArray, MemoryArea area,
                    std::uint16_t firstWord, bool isArray) {
    if (area != block.area() || isArray || blockHoldsArray)
        return false;
    if (firstWord < block.firstWord())
        return false;
    return int(firstWord) - block.lastWord() - 1 <= 0;
}
