// Client calls through the toolkit's client side turn into ActivationChange records and queued
// requests; a stand-in polling thread serves them with storeReadWords.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "server/tags/plc_tag.h"
#include "server/tags/requests.h"
#include "server/tags/server_classes.h"
#include "server/tags/tag_conversions.h"
#include "server/toolkit/da_client.h"
#include "server/toolkit/entry.h"
#include "tests/runtime/fake_plc.h"
#include "tests/toolkit/toolkit_fixture.h"

namespace {

class ServerNamespace : public ::testing::Test {
protected:
    void SetUp() override
    {
        entry = getSODaSEntry();
        entry->setCreator(makeObject<ServerCreator>());
        createRequestQueues();
        ASSERT_NE(entry->start(), 0);
        auto root = entry->getNameSpaceRoot();
        root->setTreeDelimiter('.', ".", "");
        plc = makeObject<FakePlc>();
        auto press = makeObject<ServerBranch>("Press");
        root->addBranch(press);
        auto line = makeObject<ServerBranch>("Line1");
        press->addBranch(line);
        auto s = makeObject<PlcTag>("Speed", 3, false, vt::I2, "Line speed", 100, MemoryArea::DM, 0, 0, plc.get());
        line->addLeaf(s);
        speed = s.get();
        auto c = makeObject<PlcTag>("Count", 3, true, vt::UI2, "Pieces", 101, MemoryArea::DM, 0, 0, plc.get());
        line->addLeaf(c);
        count = c.get();
    }
    void TearDown() override
    {
        entry->terminate();
        destroyRequestQueues();
    }

    std::vector<ActivationChange> takeChanges()
    {
        std::lock_guard g(requestLock);
        std::vector<ActivationChange> out(activationQueue->begin(), activationQueue->end());
        activationQueue->clear();
        return out;
    }
    std::size_t activeItemCount(PlcTag* tag)
    {
        std::lock_guard g(requestLock);
        return tag->activeItems().size();
    }

    // One pass of the stand-in polling thread over the device reads: the words come from mem.
    int serveReads(const std::map<std::uint16_t, std::uint16_t>& mem)
    {
        std::lock_guard g(requestLock);
        int served = 0;
        for (PendingRequest& p : *readRequestList) {
            std::vector<std::uint16_t> words(p.tag->wordCount());
            for (std::size_t i = 0; i < words.size(); ++i)
                words[i] = mem.count(p.tag->address() + i) ? mem.at(p.tag->address() + i) : 0;
            storeReadWords(*p.tag, std::span<const std::uint16_t>(words));
            p.request->complete(kResultOk, false, 0x40, 0, 1);
            ++served;
        }
        readRequestList->clear();
        return served;
    }

    SOCmnPointer<SODaSEntry> entry;
    SOCmnPointer<FakePlc> plc;
    PlcTag* speed = nullptr;
    PlcTag* count = nullptr;
};

bool sameChange(const ActivationChange& a, int activate, int rateChange, std::uint32_t rate, const PlcTag* tag)
{
    return a.activate == activate && a.rateChange == rateChange && a.updateRate == rate && a.tag == tag;
}

TEST_F(ServerNamespace, ClientCallsProduceTheThreeKindsOfActivationChange)
{
    auto client = DaClient::connect("one");
    GroupHandle g = 0;
    ASSERT_EQ(client->addGroup("slow", true, 1000, {}, &g), kResultOk);
    auto items = client->addItems(g, {{"Press.Line1.Speed", true, 0}, {"Press.Line1.Count", false, 0}});
    ASSERT_EQ(items[0].result, kResultOk);
    ASSERT_EQ(items[1].result, kResultOk);

    auto changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u); // the inactive item queues nothing
    EXPECT_TRUE(sameChange(changes[0], 1, 0, 1000, speed));
    EXPECT_EQ(activeItemCount(speed), 1u);

    client->setItemsActive(g, {items[0].item}, false);
    changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(sameChange(changes[0], 0, 0, 0, speed));
    EXPECT_EQ(activeItemCount(speed), 0u);

    // A rate change reaches only watched tags: an inactive item must not start polling.
    ASSERT_EQ(client->setUpdateRate(g, 500), kResultOk);
    EXPECT_TRUE(takeChanges().empty());

    // Activation after the change uses the new rate.
    client->setItemsActive(g, {items[1].item}, true);
    changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(sameChange(changes[0], 1, 0, 500, count));

    // Two groups watch the tag: every change carries the fastest of their rates.
    GroupHandle fast = 0;
    ASSERT_EQ(client->addGroup("fast", true, 200, {}, &fast), kResultOk);
    client->addItems(fast, {{"Press.Line1.Count", true, 0}});
    changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(sameChange(changes[0], 1, 0, 200, count));
    ASSERT_EQ(client->setUpdateRate(fast, 2000), kResultOk); // slower than the other group now
    changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(sameChange(changes[0], 0, 1, 500, count));
    ASSERT_EQ(client->setUpdateRate(g, 1000), kResultOk); // the rate it already has
    changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(sameChange(changes[0], 0, 1, 1000, count));
    client->setItemsActive(g, {items[1].item}, false); // the other group alone is left
    changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(sameChange(changes[0], 0, 0, 2000, count));
}

TEST_F(ServerNamespace, LeavingItemsDeactivateAndLeaveNoPointerBehind)
{
    auto a = DaClient::connect("a");
    GroupHandle g = 0;
    a->addGroup("", true, 100, {}, &g);
    auto items = a->addItems(g, {{"Press.Line1.Speed", true, 0}, {"Press.Line1.Speed", true, 0}});
    EXPECT_EQ(activeItemCount(speed), 2u);
    takeChanges();

    a->removeItems(g, {items[0].item});
    auto changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(sameChange(changes[0], 0, 0, 100, speed)); // the other item still watches
    EXPECT_EQ(activeItemCount(speed), 1u);

    a->disconnect();
    changes = takeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(sameChange(changes[0], 0, 0, 0, speed));
    EXPECT_EQ(activeItemCount(speed), 0u);
}

TEST_F(ServerNamespace, TwoClientsActivateReadFromDeviceAndSeeTheDataChange)
{
    DataChangeLog slowLog, fastLog;
    auto one = DaClient::connect("one");
    auto two = DaClient::connect("two");
    ASSERT_EQ(entry->getObjectRoot()->serverCount(), 2u);
    GroupHandle slow = 0, fast = 0;
    ASSERT_EQ(one->addGroup("slow", true, 1000, slowLog.callback(), &slow), kResultOk);
    ASSERT_EQ(two->addGroup("fast", true, 250, fastLog.callback(), &fast), kResultOk);
    auto i1 = one->addItems(slow, {{"Press.Line1.Speed", true, 11}});
    auto i2 = two->addItems(fast, {{"Press.Line1.Speed", true, 22}});
    ASSERT_EQ(i1[0].result, kResultOk);
    ASSERT_EQ(i2[0].result, kResultOk);

    auto changes = takeChanges();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(sameChange(changes[0], 1, 0, 1000, speed));
    EXPECT_TRUE(sameChange(changes[1], 1, 0, 250, speed));
    EXPECT_EQ(activeItemCount(speed), 2u);

    // Freshly made: good quality, no value.
    auto before = two->read(fast, {i2[0].item}, DataSource::cache);
    EXPECT_TRUE(before[0].value.isEmpty());
    EXPECT_EQ(before[0].quality, kOpcQualityGood);

    // The device read waits in readRequestList until the polling side serves it.
    std::atomic<bool> stop{false};
    std::thread poller([&] {
        while (!stop) {
            if (serveReads({{100, 0xFF9C}}) > 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    auto r = two->read(fast, {i2[0].item}, DataSource::device);
    stop = true;
    poller.join();
    ASSERT_EQ(r[0].result, kResultOk);
    EXPECT_EQ(r[0].value, Variant::fromI2(-100));
    EXPECT_EQ(r[0].quality, kOpcQualityGood);

    // Both groups hear of the new value, each at its own rate.
    ASSERT_TRUE(eventually([&] { return fastLog.count() >= 1 && slowLog.count() >= 1; }, std::chrono::seconds(5)));
    auto fastSeen = fastLog.entries()[0].change;
    EXPECT_EQ(fastSeen.value, Variant::fromI2(-100));
    EXPECT_EQ(fastSeen.quality, kOpcQualityGood);
    EXPECT_EQ(fastSeen.clientHandle, 22u);
    EXPECT_EQ(fastSeen.itemId, "Press.Line1.Speed");
    EXPECT_EQ(slowLog.entries()[0].change.value, Variant::fromI2(-100));
    EXPECT_EQ(slowLog.entries()[0].change.clientHandle, 11u);
}

TEST_F(ServerNamespace, WritesQueueTheConvertedValue)
{
    auto client = DaClient::connect("w");
    GroupHandle g = 0;
    client->addGroup("", true, 1000, {}, &g);
    auto items = client->addItems(g, {{"Press.Line1.Count", false, 0}});
    std::thread poller([&] {
        for (int k = 0; k < 400; ++k) {
            {
                std::lock_guard l(requestLock);
                if (!writeRequestList->empty()) {
                    PendingRequest p = writeRequestList->front();
                    writeRequestList->pop_front();
                    std::uint16_t word = 0;
                    EXPECT_EQ(valueWordCount(p), 1);
                    EXPECT_TRUE(takeWriteWords(p, std::span<std::uint16_t>(&word, 1)));
                    EXPECT_EQ(word, 0x2345); // BCD of the last four digits
                    p.request->complete(kResultOk);
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    auto w = client->write(g, {items[0].item}, {Variant::fromString("12345")});
    poller.join();
    EXPECT_EQ(w[0].result, kResultOk);
    // Refused values never reach the queue.
    auto refused = client->write(g, {items[0].item}, {Variant::fromI4(-1)});
    EXPECT_EQ(refused[0].result, kResultBadType);
    EXPECT_EQ(writeRequestListLength(), 0u);
}

TEST_F(ServerNamespace, ConcurrentActivationsKeepListsAndRecordsBalanced)
{
    constexpr int kThreads = 6;
    constexpr int kRounds = 30;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto client = DaClient::connect("c" + std::to_string(t));
            GroupHandle g = 0;
            if (client->addGroup("", true, 100 + t, {}, &g) != kResultOk) {
                ++failures;
                return;
            }
            auto items = client->addItems(g, {{"Press.Line1.Speed", false, 0}, {"Press.Line1.Count", false, 0}});
            for (int r = 0; r < kRounds; ++r) {
                client->setItemsActive(g, {items[0].item, items[1].item}, true);
                if (r % 5 == 0)
                    client->setUpdateRate(g, 200 + r);
                client->setItemsActive(g, {items[r % 2].item}, false);
            }
            // Leaves with one item active: disconnect deactivates it.
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(activeItemCount(speed), 0u);
    EXPECT_EQ(activeItemCount(count), 0u);
    int activations = 0, deactivations = 0, rates = 0;
    for (const auto& c : takeChanges()) {
        activations += c.activate;
        rates += c.rateChange;
        deactivations += (!c.activate && !c.rateChange);
    }
    EXPECT_EQ(activations, deactivations);
    // Round 0 activates both items, every later round the one deactivated before.
    EXPECT_EQ(activations, kThreads * (kRounds + 1));
    EXPECT_EQ(rates, kThreads * 6 * 2);
}

} // namespace
