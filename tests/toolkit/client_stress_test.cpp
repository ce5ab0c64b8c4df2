// Many clients at once: adding items, reading and writing from their own threads while a
// stand-in polling thread serves the requests. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>

#include "server/toolkit/da_client.h"
#include "tests/toolkit/queueing_tag.h"
#include "tests/toolkit/toolkit_fixture.h"

namespace {

TEST_F(StartedToolkit, ManyClientThreadsLoseNothing)
{
    constexpr int kTags = 8;
    constexpr int kThreads = 6;
    constexpr int kRounds = 40;
    RequestQueue queue;
    auto branch = makeObject<SODaSNodeDefault>("P");
    root->addBranch(branch);
    for (int t = 0; t < kTags; ++t)
        branch->addLeaf(makeObject<QueueingTag>("T" + std::to_string(t), vt::I4, 3, &queue));

    // The stand-in polling thread: a write stores its value, a read answers from the cache.
    std::atomic<bool> stop{false};
    std::atomic<int> served{0};
    std::thread poller([&] {
        while (!stop) {
            auto req = queue.pop(std::chrono::milliseconds(5));
            if (!req)
                continue;
            if (req->getOperation() == SODaSRequest::write) {
                Variant v;
                req->getWriteValue(v);
                req->getItemTag()->getCache()->setValue(v, kOpcQualityGood);
            }
            req->complete();
            ++served;
        }
    });

    std::atomic<int> failures{0}, writes{0}, reads{0}, changes{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kThreads; ++c) {
        clients.emplace_back([&, c] {
            auto client = DaClient::connect("c" + std::to_string(c));
            if (!client) {
                ++failures;
                return;
            }
            GroupHandle g = 0;
            std::atomic<int> mine{0};
            if (client->addGroup("", true, 10, [&](GroupHandle, const std::vector<DataChangeItem>& ch) {
                    changes += static_cast<int>(ch.size());
                    mine += static_cast<int>(ch.size());
                }, &g) != kResultOk) {
                ++failures;
                return;
            }
            for (int r = 0; r < kRounds; ++r) {
                std::string id = "P.T" + std::to_string((c + r) % kTags);
                auto added = client->addItems(g, {{id, r % 2 == 0, 0}});
                if (added[0].result != kResultOk) {
                    ++failures;
                    continue;
                }
                ItemHandle i = added[0].item;
                auto w = client->write(g, {i}, {Variant::fromI4(c * 1000 + r)});
                if (w[0].result == kResultOk)
                    ++writes;
                else
                    ++failures;
                auto rd = client->read(g, {i}, r % 3 == 0 ? DataSource::cache : DataSource::device);
                if (rd[0].result == kResultOk && rd[0].value.vartype() == vt::I4)
                    ++reads;
                else
                    ++failures;
                if (r % 4 == 3)
                    client->removeItems(g, {i});
            }
            // The group keeps active items with values: its timer must report them, however
            // busy the machine is.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (mine == 0 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (mine == 0)
                ++failures;
            client->disconnect();
        });
    }
    for (auto& t : clients)
        t.join();
    stop = true;
    poller.join();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(writes, kThreads * kRounds);
    EXPECT_EQ(reads, kThreads * kRounds);
    // Every write and every device read reached the polling side exactly once.
    const int deviceReads = kThreads * (kRounds - (kRounds + 2) / 3);
    EXPECT_EQ(served, kThreads * kRounds + deviceReads);
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(entry->getObjectRoot()->serverCount(), 0u);
}

} // namespace
