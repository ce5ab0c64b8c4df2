#include <gtest/gtest.h>

#include "server/toolkit/da_client.h"
#include "server/toolkit/toolkit_threads.h"
#include "tests/toolkit/queueing_tag.h"
#include "tests/toolkit/toolkit_fixture.h"

namespace {

class ClientSide : public StartedToolkit {
protected:
    void SetUp() override
    {
        StartedToolkit::SetUp();
        auto press = makeObject<SODaSNodeDefault>("Press");
        root->addBranch(press);
        auto line = makeObject<SODaSNodeDefault>("Line1");
        press->addBranch(line);
        speed = makeObject<QueueingTag>("Speed", vt::I2, kAccessReadable | kAccessWritable, &queue);
        line->addLeaf(speed);
        temp = makeObject<QueueingTag>("Temp", vt::R4, kAccessReadable, &queue);
        press->addLeaf(temp);
        auto setpoint = makeObject<QueueingTag>("Setpoint", vt::UI2, kAccessWritable, &queue);
        press->addLeaf(setpoint);
        auto desc = makeObject<SODaSProperty>(kPropertyDescription);
        desc->setConstantValue(std::string("Line speed"));
        speed->addProperty(desc);
        // Good quality, no value: what a freshly made scalar tag holds.
        speed->getCache()->setQuality(kOpcQualityGood);
        temp->getCache()->setQuality(kOpcQualityGood);
        client = DaClient::connect("test");
        ASSERT_TRUE(client);
    }
    void TearDown() override
    {
        client.reset();
        StartedToolkit::TearDown();
    }

    GroupHandle addGroup(std::uint32_t rate, bool active = true, DataChangeCallback cb = {})
    {
        GroupHandle g = 0;
        EXPECT_EQ(client->addGroup("", active, rate, std::move(cb), &g), kResultOk);
        return g;
    }
    ItemHandle addItem(GroupHandle g, const std::string& id, bool active = true)
    {
        auto r = client->addItems(g, {{id, active, 0}});
        EXPECT_EQ(r[0].result, kResultOk) << id;
        return r[0].item;
    }

    RequestQueue queue;
    SOCmnPointer<QueueingTag> speed, temp;
    std::unique_ptr<DaClient> client;
};

TEST_F(ClientSide, UnknownItemIdIsAnErrorOfThatItemOnly)
{
    GroupHandle g = addGroup(1000);
    auto r = client->addItems(g, {{"Press.Line1.Speed", true, 7}, {"Press.Nope", true, 8}, {"", true, 9}, {"Press.Temp", false, 10}});
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].result, kResultOk);
    EXPECT_EQ(r[0].nativeDatatype, vt::I2);
    EXPECT_EQ(r[0].accessRights, kAccessReadable | kAccessWritable);
    EXPECT_EQ(r[1].result, kResultUnknownItemId);
    EXPECT_EQ(r[2].result, kResultInvalidItemId);
    EXPECT_EQ(r[3].result, kResultOk);
    EXPECT_NE(r[0].item, r[3].item);
    GroupInfo info;
    ASSERT_EQ(client->getGroupInfo(g, &info), kResultOk);
    EXPECT_EQ(info.itemCount, 2u);
    EXPECT_EQ(info.updateRate, 1000u);
    EXPECT_EQ(client->addItems(12345, {{"Press.Temp", true, 0}})[0].result, kResultInvalidHandle);
}

TEST_F(ClientSide, GroupNamesAreUniquePerClient)
{
    GroupHandle a = 0, b = 0;
    EXPECT_EQ(client->addGroup("fast", true, 100, {}, &a), kResultOk);
    EXPECT_EQ(client->addGroup("fast", true, 100, {}, &b), kResultDuplicateName);
    auto other = DaClient::connect("other");
    EXPECT_EQ(other->addGroup("fast", true, 100, {}, &b), kResultOk);
    EXPECT_EQ(client->removeGroup(a), kResultOk);
    EXPECT_EQ(client->removeGroup(a), kResultInvalidHandle);
}

TEST_F(ClientSide, CacheReadIsAnsweredWithoutTheDevice)
{
    speed->getCache()->setValue(Variant::fromI2(12), kOpcQualityGood);
    GroupHandle g = addGroup(1000);
    ItemHandle i = addItem(g, "Press.Line1.Speed");
    auto r = client->read(g, {i}, DataSource::cache);
    EXPECT_EQ(r[0].result, kResultOk);
    EXPECT_EQ(r[0].value, Variant::fromI2(12));
    EXPECT_EQ(r[0].quality, kOpcQualityGood);
    EXPECT_EQ(queue.size(), 0u);
}

TEST_F(ClientSide, DeviceReadWaitsForThePollingSide)
{
    GroupHandle g = addGroup(1000);
    ItemHandle i = addItem(g, "Press.Line1.Speed");
    std::thread poller([&] {
        auto req = queue.pop();
        ASSERT_TRUE(req);
        EXPECT_EQ(req->getOperation(), SODaSRequest::read);
        EXPECT_EQ(req->getType(), SODaSRequest::kSyncDeviceRead);
        EXPECT_TRUE(req->isPending());
        req->getItemTag()->getCache()->setValue(Variant::fromI2(-5), kOpcQualityGood);
        req->complete(kResultOk, false, 0x40, 0, 1);
    });
    auto r = client->read(g, {i}, DataSource::device);
    poller.join();
    EXPECT_EQ(r[0].result, kResultOk);
    EXPECT_EQ(r[0].value, Variant::fromI2(-5));
    EXPECT_EQ(r[0].quality, kOpcQualityGood); // quality not valid: the cache's quality
}

TEST_F(ClientSide, DeviceReadFailureShowsTheGivenQuality)
{
    GroupHandle g = addGroup(1000);
    ItemHandle i = addItem(g, "Press.Line1.Speed");
    std::thread poller([&] {
        auto req = queue.pop();
        ASSERT_TRUE(req);
        req->complete(kResultFail, true, kOpcQualityCommFailure, 0, 1);
    });
    auto r = client->read(g, {i}, DataSource::device);
    poller.join();
    EXPECT_EQ(r[0].result, kResultFail);
    EXPECT_EQ(r[0].quality, kOpcQualityCommFailure);
    EXPECT_FALSE(r[0].error.empty());
}

TEST_F(ClientSide, UnservedDeviceReadAndWriteTimeOut)
{
    GroupHandle g = addGroup(1000);
    ItemHandle i = addItem(g, "Press.Line1.Speed");
    auto r = client->read(g, {i}, DataSource::device, std::chrono::milliseconds(30));
    EXPECT_EQ(r[0].result, kResultTimeout);
    auto late = queue.pop();
    ASSERT_TRUE(late);
    late->complete(); // completing after the client gave up is harmless

    // A write still queued may yet be carried out: its answer must not say it failed.
    auto w = client->write(g, {i}, {Variant::fromI4(5)}, std::chrono::milliseconds(30));
    EXPECT_EQ(w[0].result, kResultTimeout);
    EXPECT_EQ(w[0].error, "no answer yet; the write may still be carried out");
    late = queue.pop();
    ASSERT_TRUE(late);
    late->complete();
}

TEST_F(ClientSide, AsyncReadAnswersThroughTheCallback)
{
    GroupHandle g = addGroup(1000);
    ItemHandle a = addItem(g, "Press.Line1.Speed");
    ItemHandle b = addItem(g, "Press.Temp");
    std::mutex m;
    std::vector<ItemState> got;
    bool called = false;
    ASSERT_EQ(client->readAsync(g, {a, b, 999}, DataSource::device,
                                [&](const std::vector<ItemState>& r) {
                                    std::lock_guard l(m);
                                    got = r;
                                    called = true;
                                }),
              kResultOk);
    for (int k = 0; k < 2; ++k) {
        auto req = queue.pop();
        ASSERT_TRUE(req);
        EXPECT_EQ(req->getType(), SODaSRequest::kAsyncDeviceRead);
        req->getItemTag()->getCache()->setValue(Variant::fromI2(3), kOpcQualityGood);
        req->complete();
    }
    ASSERT_TRUE(eventually([&] {
        std::lock_guard l(m);
        return called;
    }));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].value, Variant::fromI2(3));
    EXPECT_EQ(got[1].value, Variant::fromR4(3.0f)); // stored in the tag's datatype
    EXPECT_EQ(got[2].result, kResultInvalidHandle);
}

TEST_F(ClientSide, WriteValueReachesTheTagInItsNativeDatatype)
{
    GroupHandle g = addGroup(1000);
    ItemHandle i = addItem(g, "Press.Line1.Speed");
    std::thread poller([&] {
        auto req = queue.pop();
        ASSERT_TRUE(req);
        EXPECT_EQ(req->getOperation(), SODaSRequest::write);
        Variant v;
        ASSERT_TRUE(req->getWriteValue(v));
        EXPECT_EQ(v, Variant::fromI2(42));
        req->complete(kResultOk);
    });
    auto r = client->write(g, {i}, {Variant::fromString("42")});
    poller.join();
    EXPECT_EQ(r[0].result, kResultOk);
}

TEST_F(ClientSide, UnconvertibleWriteIsRefusedAndNeverQueued)
{
    GroupHandle g = addGroup(1000);
    ItemHandle i = addItem(g, "Press.Line1.Speed");
    struct Case {
        Variant value;
        const char* reason;
    } cases[] = {{Variant::fromString("abc"), "not a number"},
                 {Variant::fromI4(40000), "overflow"},
                 {Variant::makeArray(vt::I2, 2), "type mismatch"},
                 {Variant(), "No value"}};
    for (const auto& c : cases) {
        auto r = client->write(g, {i}, {c.value});
        EXPECT_EQ(r[0].result, kResultBadType) << c.reason;
        EXPECT_NE(r[0].error.find(c.reason), std::string::npos) << r[0].error;
    }
    EXPECT_EQ(queue.size(), 0u);
}

TEST_F(ClientSide, AccessRightsAreEnforced)
{
    GroupHandle g = addGroup(1000);
    ItemHandle readOnly = addItem(g, "Press.Temp");
    ItemHandle writeOnly = addItem(g, "Press.Setpoint");
    EXPECT_EQ(client->write(g, {readOnly}, {Variant::fromR4(1)})[0].result, kResultBadRights);
    EXPECT_EQ(client->read(g, {writeOnly}, DataSource::cache)[0].result, kResultBadRights);
    EXPECT_EQ(queue.size(), 0u);
}

TEST_F(ClientSide, DataChangesOnlyForChangedActiveItems)
{
    DataChangeLog log;
    GroupHandle g = addGroup(20, true, log.callback());
    ItemHandle a = addItem(g, "Press.Line1.Speed");
    ItemHandle b = addItem(g, "Press.Temp");
    ItemHandle inactive = addItem(g, "Press.Setpoint", false);
    (void)inactive;
    // Good quality and no value yet: nothing to tell.
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(log.count(), 0u);

    speed->getCache()->setValue(Variant::fromI2(1), kOpcQualityGood);
    ASSERT_TRUE(eventually([&] { return log.count() >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    auto entries = log.entries();
    ASSERT_EQ(entries.size(), 1u); // once, not at every tick
    EXPECT_EQ(entries[0].change.item, a);
    EXPECT_EQ(entries[0].change.itemId, "Press.Line1.Speed");
    EXPECT_EQ(entries[0].change.value, Variant::fromI2(1));
    EXPECT_EQ(entries[0].change.quality, kOpcQualityGood);
    EXPECT_NE(entries[0].change.timeStamp, TimeStamp{});

    // The same value again is no change; a new quality is.
    log.clear();
    speed->getCache()->setValue(Variant::fromI2(1), kOpcQualityGood);
    temp->getCache()->setQuality(kOpcQualityCommFailure);
    ASSERT_TRUE(eventually([&] { return log.count() >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    entries = log.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].change.item, b);
    EXPECT_EQ(entries[0].change.quality, kOpcQualityCommFailure);
}

TEST_F(ClientSide, InactiveItemsAndGroupsSendNothingUntilActivated)
{
    DataChangeLog log;
    GroupHandle g = addGroup(20, true, log.callback());
    ItemHandle a = addItem(g, "Press.Line1.Speed", false);
    speed->getCache()->setValue(Variant::fromI2(9), kOpcQualityGood);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(log.count(), 0u);

    // Activation sends the current value once.
    ASSERT_EQ(client->setItemsActive(g, {a}, true)[0], kResultOk);
    ASSERT_TRUE(eventually([&] { return log.count() == 1; }));
    EXPECT_EQ(log.entries()[0].change.value, Variant::fromI2(9));

    ASSERT_EQ(client->setGroupActive(g, false), kResultOk);
    log.clear();
    speed->getCache()->setValue(Variant::fromI2(10), kOpcQualityGood);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(log.count(), 0u);
    ASSERT_EQ(client->setGroupActive(g, true), kResultOk);
    ASSERT_TRUE(eventually([&] { return log.count() == 1; }));
    EXPECT_EQ(log.entries()[0].change.value, Variant::fromI2(10));
}

TEST_F(ClientSide, ActivationTellsABadQualityEvenWithoutValue)
{
    DataChangeLog log;
    GroupHandle g = addGroup(20, true, log.callback());
    temp->getCache()->setQuality(kOpcQualityCommFailure);
    addItem(g, "Press.Temp");
    ASSERT_TRUE(eventually([&] { return log.count() == 1; }));
    EXPECT_TRUE(log.entries()[0].change.value.isEmpty());
    EXPECT_EQ(log.entries()[0].change.quality, kOpcQualityCommFailure);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(log.count(), 1u);
}

TEST_F(ClientSide, DataChangesComeAtTheGroupsRate)
{
    DataChangeLog log;
    GroupHandle g = addGroup(200, true, log.callback());
    addItem(g, "Press.Line1.Speed");
    auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < 50; ++k) { // a new value every 20 ms for one second
        speed->getCache()->setValue(Variant::fromI2(static_cast<std::int16_t>(k)), kOpcQualityGood);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    auto elapsed = std::chrono::steady_clock::now() - start;
    auto entries = log.entries();
    auto expected = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 200;
    EXPECT_GE(static_cast<long>(entries.size()), expected - 2);
    EXPECT_LE(static_cast<long>(entries.size()), expected + 1);
    for (std::size_t k = 1; k < entries.size(); ++k)
        EXPECT_GE(entries[k].at - entries[k - 1].at, std::chrono::milliseconds(120));
}

TEST_F(ClientSide, NoCallbackAfterRemoveGroupOrDisconnect)
{
    std::atomic<int> calls{0};
    GroupHandle g = addGroup(10, true, [&](GroupHandle, const std::vector<DataChangeItem>&) { ++calls; });
    addItem(g, "Press.Line1.Speed");
    speed->getCache()->setValue(Variant::fromI2(1), kOpcQualityGood);
    ASSERT_TRUE(eventually([&] { return calls > 0; }));
    ASSERT_EQ(client->removeGroup(g), kResultOk);
    int seen = calls;
    speed->getCache()->setValue(Variant::fromI2(2), kOpcQualityGood);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(calls, seen);

    g = addGroup(10, true, [&](GroupHandle, const std::vector<DataChangeItem>&) { ++calls; });
    addItem(g, "Press.Line1.Speed");
    ASSERT_TRUE(eventually([&] { return calls > seen; }));
    client->disconnect();
    seen = calls;
    speed->getCache()->setValue(Variant::fromI2(3), kOpcQualityGood);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(calls, seen);
    EXPECT_EQ(client->addGroup("x", true, 10, {}, &g), kResultNotRunning);
}

TEST_F(ClientSide, BrowseWalksTheWholeNamespaceInOrder)
{
    auto all = client->browse();
    std::vector<std::string> ids;
    for (const auto& e : all)
        ids.push_back(e.itemId + (e.isLeaf ? "" : "/") + std::to_string(e.depth));
    EXPECT_EQ(ids, (std::vector<std::string>{"Press/0", "Press.Line1/1", "Press.Line1.Speed2", "Press.Temp1",
                                             "Press.Setpoint1"}));
    ToolkitResult r;
    auto children = client->browseChildren("Press", &r);
    ASSERT_EQ(r, kResultOk);
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0].name, "Line1");
    EXPECT_FALSE(children[0].isLeaf);
    EXPECT_EQ(children[1].itemId, "Press.Temp");
    EXPECT_TRUE(children[1].isLeaf);
    client->browseChildren("Nope", &r);
    EXPECT_EQ(r, kResultInvalidItemId);
}

TEST_F(ClientSide, ItemPropertiesGiveTypeRightsAndDescription)
{
    auto p = client->getItemProperties("Press.Line1.Speed");
    EXPECT_EQ(p.result, kResultOk);
    EXPECT_EQ(p.datatype, vt::I2);
    EXPECT_EQ(p.accessRights, 3);
    EXPECT_EQ(p.description, "Line speed");
    ASSERT_EQ(p.all.size(), 6u);
    EXPECT_EQ(p.all.back().id, kPropertyDescription);
    EXPECT_EQ(client->getItemProperties("Press.Temp").description, "");
    EXPECT_EQ(client->getItemProperties("Press.X").result, kResultUnknownItemId);
}

// The server's own kinds: notifications see the old rate, activation sees the flag.
struct Recorder {
    std::mutex m;
    std::vector<std::string> events;
    void add(std::string e)
    {
        std::lock_guard l(m);
        events.push_back(std::move(e));
    }
};

struct RecordingGroup : SODaSGroupDefault {
    Recorder* rec;
    explicit RecordingGroup(Recorder* r) : rec(r) {}
    void onUpdateRateChange(std::uint32_t newRate) override
    {
        rec->add("rate " + std::to_string(getUpdateRate()) + "->" + std::to_string(newRate));
    }
};

struct RecordingItem : SODaSItemDefault {
    Recorder* rec;
    explicit RecordingItem(Recorder* r) : rec(r) {}
    void onActivationChange(bool active) override
    {
        rec->add(std::string(active ? "on " : "off ") + getItemID() + " in " + getParentBranch()->getName() +
                 (ToolkitThreads::onToolkitThread() ? " (toolkit thread)" : " (other thread)"));
    }
};

struct RecordingCreator : SODaSCreator {
    Recorder* rec;
    explicit RecordingCreator(Recorder* r) : rec(r) {}
    SOCmnPointer<SODaSGroupDefault> createGroup(const std::string&) override { return makeObject<RecordingGroup>(rec); }
    SOCmnPointer<SODaSItemDefault> createItem(SODaSGroupDefault&, SODaSTag&) override
    {
        return makeObject<RecordingItem>(rec);
    }
};

TEST_F(ClientSide, CreatorsNotificationsRunOnToolkitThreadsInOrder)
{
    Recorder rec;
    entry->setCreator(makeObject<RecordingCreator>(&rec));
    GroupHandle g = 0;
    ASSERT_EQ(client->addGroup("G", true, 1000, {}, &g), kResultOk);
    ItemHandle i = addItem(g, "Press.Temp");
    client->setItemsActive(g, {i}, true); // no change: no notification
    client->setUpdateRate(g, 250);
    client->setItemsActive(g, {i}, false);
    client->setItemsActive(g, {i}, true);
    client->removeItems(g, {i}); // an active item that leaves is deactivated
    EXPECT_EQ(rec.events, (std::vector<std::string>{"on Press.Temp in G (toolkit thread)", "rate 1000->250",
                                                    "off Press.Temp in G (toolkit thread)",
                                                    "on Press.Temp in G (toolkit thread)",
                                                    "off Press.Temp in G (toolkit thread)"}));
    GroupInfo info;
    client->getGroupInfo(g, &info);
    EXPECT_EQ(info.updateRate, 250u);
}

} // namespace
