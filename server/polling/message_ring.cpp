#include "server/polling/message_ring.h"

MessageRing messageRing;

MessageRing::MessageRing() { lines_.fill(kFiller); }

void MessageRing::put(const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_[static_cast<std::size_t>(index_)] = line;
    index_ = (index_ + 1) % kSize;
    ++written_;
}

MessageRing::Lines MessageRing::lines() const {
    std::lock_guard lock(mutex_);
    Lines out;
    out.written = written_;
    for (int n = 1; n <= kSize; ++n) {
        const std::string& line = lines_[static_cast<std::size_t>((index_ - n + kSize) % kSize)];
        if (line != kFiller)
            out.newestFirst.push_back(line);
    }
    return out;
}

int MessageRing::index() const {
    std::lock_guard lock(mutex_);
    return index_;
}

std::array<std::string, MessageRing::kSize> MessageRing::entries() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string MessageRing::newestFirst() const {
    std::lock_guard lock(mutex_);
    std::string text;
    int k = index_ == 0 ? kSize - 1 : index_ - 1;
    for (int n = 0; n < kSize; ++n) {
        text += lines_[static_cast<std::size_t>(k)];
        k = k == 0 ? kSize - 1 : k - 1;
    }
    return text;
}
