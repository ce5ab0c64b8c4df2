// Word ranges, gap rules and cyclic block bookkeeping of a Plc, without a line.
#include "server/polling/block_range.h"
#include "server/polling/plc.h"
#include "server/polling/plc_list.h"
#include "server/polling/plc_cursor.h"
#include "server/tags/requests.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

struct Capacity {
    std::uint16_t first;
    std::uint16_t capacity;
};

class PlcBlocks : public ::testing::Test {
protected:
    PlcBlocks() : plc_(makeObject<Plc>("P1", 0, "COM1")) {}
    ~PlcBlocks() override { plc_->destroyBlocks(); }

    PlcTag& tag(std::uint16_t address, std::uint16_t vartype = vt::I2,
                MemoryArea area = MemoryArea::DM, std::uint16_t elements = 0) {
        tags_.push_back(makeObject<PlcTag>("T" + std::to_string(tags_.size()), std::uint8_t(3),
                                           false, vartype, "", address, area, std::uint16_t(0),
                                           elements, plc_.get()));
        return *tags_.back();
    }
    // A change as the server queues it: the tag has a watcher, and the rate is the fastest
    // among its watchers' groups.
    void activate(PlcTag& t, std::uint32_t rate) {
        std::lock_guard lock(requestLock);
        if (t.activeItems().empty())
            t.activeItems().push_back(nullptr); // a watcher; block code only counts them
        plc_->applyActivationChange({1, 0, rate, &t});
    }
    void deactivate(PlcTag& t) {
        std::lock_guard lock(requestLock);
        t.activeItems().clear();
        plc_->applyActivationChange({0, 0, 0, &t});
        plc_->recomputeRanges();
    }
    std::vector<std::string> labels() const {
        std::vector<std::string> out;
        for (const auto& b : plc_->cyclicBlocks())
            out.push_back(b->label());
        return out;
    }

    SOCmnPointer<Plc> plc_;
    std::vector<SOCmnPointer<PlcTag>> tags_;
};

} // namespace

TEST(BlockRange, CapacityStartsRoundedDownPlus64AndGrowsWith64Headroom) {
    for (Capacity c : {Capacity{1, 64}, Capacity{63, 64}, Capacity{64, 128}, Capacity{70, 128},
                       Capacity{128, 192}}) {
        BlockRange r;
        r.start(MemoryArea::DM, 0, c.first);
        EXPECT_EQ(r.capacity(), c.capacity) << c.first;
    }
    BlockRange r;
    r.start(MemoryArea::DM, 100, 1);
    r.cover(120, 2, false); // 22 words: still fits
    EXPECT_EQ(r.wordCount(), 22);
    EXPECT_EQ(r.capacity(), 64);
    r.cover(100, 70, false);
    EXPECT_EQ(r.wordCount(), 70);
    EXPECT_EQ(r.capacity(), 134);
}

TEST(BlockRange, WriteBufferKeepsItsWordsWhenItGrows) {
    BlockRange r;
    r.start(MemoryArea::DM, 10, 60);
    for (std::uint16_t i = 0; i < 60; ++i)
        r.buffer()[i] = static_cast<std::uint16_t>(i + 1);
    r.cover(70, 10, true);
    ASSERT_EQ(r.capacity(), 70 + 64);
    EXPECT_EQ(r.buffer()[0], 1);
    EXPECT_EQ(r.buffer()[59], 60);
}

TEST(BlockRange, GapRulesOfReadAndWriteBlocks) {
    BlockRange block;
    block.start(MemoryArea::DM, 100, 10); // DM100 to DM109
    struct Case {
        std::uint16_t first;
        MemoryArea area;
        bool array;
        bool read;
        bool write;
    };
    const Case cases[] = {
        {105, MemoryArea::DM, false, true, true},   // inside
        {110, MemoryArea::DM, false, true, true},   // right after
        {111, MemoryArea::DM, false, true, false},  // one word gap: write blocks never
        {135, MemoryArea::DM, false, true, false},  // gap 25
        {136, MemoryArea::DM, false, false, false}, // gap 26
        {75, MemoryArea::DM, false, true, false},   // 25 before: write blocks never
        {74, MemoryArea::DM, false, false, false},
        {99, MemoryArea::DM, false, true, false},
        {105, MemoryArea::HR, false, false, false}, // another area
        {105, MemoryArea::DM, true, false, false},  // an array never joins
    };
    for (const Case& c : cases) {
        EXPECT_EQ(passesReadGap(block, false, c.area, c.first, c.array), c.read) << c.first;
        EXPECT_EQ(passesWriteGap(block, false, c.area, c.first, c.array), c.write) << c.first;
    }
    // A block that holds an array is never joined.
    EXPECT_FALSE(passesReadGap(block, true, MemoryArea::DM, 105, false));
    EXPECT_FALSE(passesWriteGap(block, true, MemoryArea::DM, 105, false));
}

TEST_F(PlcBlocks, RemovingTagsShrinksTheRangeAndAnEmptiedBlockDisappears) {
    PlcTag& a = tag(10);
    PlcTag& b = tag(20);
    PlcTag& c = tag(200);
    activate(a, 100);
    activate(b, 100);
    activate(c, 100);
    EXPECT_EQ(labels(), (std::vector<std::string>{"DM10-LEN11", "DM200-LEN1"}));
    {
        // The first block waits for its recompute while the second one empties: it must
        // still be recomputed.
        std::lock_guard lock(requestLock);
        a.activeItems().clear();
        c.activeItems().clear();
        plc_->applyActivationChange({0, 0, 0, &a});
        plc_->applyActivationChange({0, 0, 0, &c});
        EXPECT_TRUE(plc_->needsRecompute());
        plc_->recomputeRanges();
    }
    EXPECT_EQ(labels(), std::vector<std::string>{"DM20-LEN1"});
    EXPECT_FALSE(a.inBlock());
    EXPECT_TRUE(b.inBlock());
    deactivate(b);
    EXPECT_TRUE(plc_->cyclicBlocks().empty());
    EXPECT_TRUE(plc_->allBlocksServed()); // no blocks: done
}

TEST_F(PlcBlocks, ReactivatedTagReturnsToTheBlockItLeft) {
    PlcTag& a = tag(10);
    PlcTag& b = tag(12);
    activate(a, 100);
    activate(b, 100);
    deactivate(a);
    ASSERT_EQ(labels(), std::vector<std::string>{"DM12-LEN1"});
    plc_->cyclicBlocks()[0]->setServed(true);
    activate(a, 100);
    EXPECT_EQ(labels(), std::vector<std::string>{"DM10-LEN3"});
    EXPECT_FALSE(plc_->cyclicBlocks()[0]->served()); // its turn comes again
}

TEST_F(PlcBlocks, TagOfNoWordsNeverEntersABlock) {
    PlcTag& unknown = tag(10, vt::EMPTY);
    PlcTag& emptyString = tag(20, vt::BSTR, MemoryArea::DM, 0);
    activate(unknown, 100);
    activate(emptyString, 100);
    EXPECT_TRUE(plc_->cyclicBlocks().empty());
    EXPECT_FALSE(unknown.inBlock());
}

TEST_F(PlcBlocks, RatesSplitBlocksAndTheSmallestRateWins) {
    PlcTag& a = tag(10);
    PlcTag& b = tag(11);
    activate(a, 1000);
    activate(b, 500);
    EXPECT_EQ(labels(), (std::vector<std::string>{"DM10-LEN1", "DM11-LEN1"}));
    activate(a, 500); // a faster rate moves it next to b
    {
        std::lock_guard lock(requestLock);
        plc_->recomputeRanges();
    }
    ASSERT_EQ(plc_->cyclicBlocks().size(), 1u);
    EXPECT_EQ(plc_->cyclicBlocks()[0]->updateRate(), 500u);
    EXPECT_EQ(labels(), std::vector<std::string>{"DM10-LEN2"});
    activate(a, 500); // the rate it already has changes nothing
    EXPECT_EQ(plc_->cyclicBlocks()[0]->updateRate(), 500u);
    {
        std::lock_guard lock(requestLock);
        plc_->applyActivationChange({0, 1, 2000, &a}); // a group's rate change moves it
    }
    EXPECT_EQ(a.block()->updateRate(), 2000u);
}

TEST_F(PlcBlocks, BlocksTakeTurnsRoundRobin) {
    PlcTag& a = tag(10);
    PlcTag& b = tag(10, vt::I2, MemoryArea::HR);
    PlcTag& c = tag(10, vt::I2, MemoryArea::LR);
    activate(a, 100);
    activate(b, 100);
    activate(c, 100);
    const auto& blocks = plc_->cyclicBlocks();
    ASSERT_EQ(blocks.size(), 3u);
    std::vector<CyclicBlock*> order;
    for (int i = 0; i < 4; ++i)
        order.push_back(plc_->nextCyclicBlock());
    EXPECT_EQ(order, (std::vector<CyclicBlock*>{blocks[1].get(), blocks[2].get(), blocks[0].get(),
                                                 blocks[1].get()}));
    EXPECT_FALSE(plc_->allBlocksServed());
    for (const auto& bl : blocks)
        bl->setServed(true);
    EXPECT_TRUE(plc_->allBlocksServed());
    plc_->clearServedFlags();
    EXPECT_FALSE(plc_->allBlocksServed());
}

TEST_F(PlcBlocks, ReadOfATagOfNoWordsIsAnsweredAtOnce) {
    PlcTag& unknown = tag(10, vt::EMPTY);
    auto request = makeObject<SODaSRequest>(SODaSRequest::read, SODaSRequest::kSyncDeviceRead,
                                            SOCmnPointer<SODaSTag>::share(&unknown));
    plc_->addReadRequest(PendingRequest{request, &unknown});
    EXPECT_FALSE(plc_->hasReadBlocks());
    EXPECT_TRUE(request->isCompleted());
    EXPECT_EQ(request->getResult(), kResultFail);
}

TEST(PlcListTest, KeepsConfigurationOrderAndACursorMovesOverIt) {
    PlcList list;
    list.add(5, makeObject<Plc>("A", 5, "COM1"));
    list.add(2, makeObject<Plc>("B", 2, "COM2"));
    list.add(5, makeObject<Plc>("C", 5, "COM3-with-a-long-name"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.at(0)->name(), "A");
    EXPECT_EQ(list.findByUnit(2)->name(), "B");
    EXPECT_EQ(list.findByUnit(5)->name(), "A");
    EXPECT_EQ(list.at(2)->portName(), "COM3-with-a-lo"  "n"); // 15 characters kept
    PlcCursor cursor(list.plcs());
    cursor.advance();
    cursor.advance();
    EXPECT_EQ(cursor.current()->name(), "C");
    cursor.advance();
    EXPECT_EQ(cursor.currentIndex(), 0u);
    cursor.advance();
    cursor.rewindKeepingIndex();
    EXPECT_EQ(cursor.current()->name(), "A");
    EXPECT_EQ(cursor.currentIndex(), 1u);
}
