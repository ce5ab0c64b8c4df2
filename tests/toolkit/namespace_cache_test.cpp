#include <gtest/gtest.h>

#include "server/toolkit/cache.h"
#include "server/toolkit/cmn_list.h"
#include "server/toolkit/node.h"
#include "server/toolkit/request.h"

namespace {

SOCmnPointer<SODaSTag> makeTag(const std::string& name, std::uint16_t type = vt::I2)
{
    auto tag = makeObject<SODaSTag>();
    tag->setName(name);
    tag->setNativeDatatype(type);
    return tag;
}

TEST(NameSpace, ItemIdJoinsNamesWithTheDelimiter)
{
    auto root = makeObject<SODaSNameSpaceRoot>();
    root->setTreeDelimiter('.', ".", "");
    auto press = makeObject<SODaSNodeDefault>("Press");
    ASSERT_TRUE(root->addBranch(press));
    auto line = makeObject<SODaSNodeDefault>("Line1");
    ASSERT_TRUE(press->addBranch(line));
    auto speed = makeTag("Speed");
    ASSERT_TRUE(line->addLeaf(speed));

    EXPECT_EQ(speed->getItemID(), "Press.Line1.Speed");
    EXPECT_EQ(root->findItem("Press.Line1.Speed"), speed);
    EXPECT_FALSE(root->findItem("Press.Line1"));
    EXPECT_FALSE(root->findItem("Press.Line2.Speed"));
    EXPECT_FALSE(root->findItem(""));
    EXPECT_EQ(root->findBranch("Press", 0), press);
    EXPECT_FALSE(root->findBranch("press", 0)); // names are case-sensitive
    EXPECT_EQ(root->findNode("Press.Line1"), line);

    root->setTreeDelimiter('/', "", "");
    EXPECT_EQ(speed->getItemID(), "Press/Line1/Speed");
    EXPECT_EQ(root->findItem("Press/Line1/Speed"), speed);
    root->clearChildren();
}

TEST(NameSpace, NodeOwnsWhatIsAdded)
{
    auto root = makeObject<SODaSNameSpaceRoot>();
    SODaSTag* raw;
    {
        auto tag = makeTag("T");
        raw = tag.get();
        root->addLeaf(tag);
        EXPECT_EQ(raw->refCount(), 2);
    }
    EXPECT_EQ(raw->refCount(), 1); // the root's reference is left
    EXPECT_FALSE(root->addLeaf(raw)); // a second parent is refused
    EXPECT_EQ(root->getLeafList().size(), 1u);
    root->clearChildren();
}

TEST(NameSpace, BadCharactersAreRefused)
{
    auto root = makeObject<SODaSNameSpaceRoot>();
    root->setTreeDelimiter('.', ".", "*?");
    auto branch = makeObject<SODaSNodeDefault>("A");
    ASSERT_TRUE(root->addBranch(branch));
    EXPECT_FALSE(branch->addLeaf(makeTag("x*y")));
    EXPECT_TRUE(branch->addLeaf(makeTag("xy")));
    root->clearChildren();
}

struct CountingSubscriber : SODaSCacheSubscriber {
    std::atomic<int> calls{0};
    void cacheChanged() noexcept override { ++calls; }
};

TEST(Cache, SetValueStampsTimeAndNotifies)
{
    auto cache = makeObject<SODaSCache>();
    cache->setDatatype(vt::UI2);
    CountingSubscriber sub;
    cache->addSubscriber(&sub);
    auto before = std::chrono::system_clock::now();
    ASSERT_TRUE(cache->setValue(Variant::fromI4(7), kOpcQualityGood));
    CacheSnapshot s = cache->snapshot();
    EXPECT_EQ(s.value, Variant::fromUI2(7)); // kept in the cache's datatype
    EXPECT_EQ(s.quality, kOpcQualityGood);
    EXPECT_GE(s.timeStamp, before);
    EXPECT_EQ(sub.calls, 1);

    EXPECT_FALSE(cache->setValue(Variant::fromI4(-1), kOpcQualityGood)); // not a VT_UI2
    EXPECT_EQ(cache->snapshot().value, Variant::fromUI2(7));
    EXPECT_EQ(sub.calls, 1);

    cache->setQuality(kOpcQualityCommFailure);
    EXPECT_EQ(cache->getQuality(), kOpcQualityCommFailure);
    EXPECT_EQ(sub.calls, 2);
    cache->setQuality(kOpcQualityCommFailure); // no change, no news
    EXPECT_EQ(sub.calls, 2);
    cache->removeSubscriber(&sub);
    cache->setQuality(kOpcQualityGood);
    EXPECT_EQ(sub.calls, 2);
}

TEST(Cache, ValueBeforeTheFirstStoreHasTheDatatype)
{
    auto cache = makeObject<SODaSCache>();
    Variant v;
    EXPECT_FALSE(cache->getValue(v)); // no datatype, no value
    cache->setDatatype(vt::R4);
    ASSERT_TRUE(cache->getValue(v));
    EXPECT_EQ(v.vartype(), vt::R4);
    EXPECT_FALSE(cache->hasValue());
    EXPECT_TRUE(cache->snapshot().value.isEmpty());
}

TEST(Request, CompletesOnceAndRunsItsHookOnce)
{
    auto tag = makeTag("T");
    int hookCalls = 0;
    auto req = makeObject<SODaSRequest>(SODaSRequest::read, SODaSRequest::kSyncDeviceRead, tag, Variant(),
                                        [&](SODaSRequest&) { ++hookCalls; });
    EXPECT_TRUE(req->isDeviceRead());
    req->setPending();
    EXPECT_TRUE(req->isPending());
    EXPECT_FALSE(req->waitCompleted(std::chrono::milliseconds(1)));
    req->complete(kResultFail, true, 0x18, 0, 1);
    req->complete(kResultOk, false, 0xC0, 0, 1);
    EXPECT_TRUE(req->isCompleted());
    EXPECT_FALSE(req->isPending());
    EXPECT_EQ(req->getResult(), kResultFail);
    EXPECT_TRUE(req->isQualityValid());
    EXPECT_EQ(req->getQuality(), 0x18);
    EXPECT_EQ(hookCalls, 1);
    Variant v;
    EXPECT_FALSE(req->getWriteValue(v)); // reads carry no value
}

TEST(Pointer, HandlesCountReferences)
{
    auto tag = makeTag("T");
    EXPECT_EQ(tag->refCount(), 1);
    {
        SOCmnPointer<SODaSTag> copy = tag;
        SOCmnPointer<SODaSElement> base = copy;
        EXPECT_EQ(tag->refCount(), 3);
        auto back = dynamicPointerCast<SODaSTag>(base);
        EXPECT_EQ(back, tag);
        EXPECT_EQ(tag->refCount(), 4);
    }
    EXPECT_EQ(tag->refCount(), 1);
    SOCmnPointer<SODaSTag> moved = std::move(tag);
    EXPECT_FALSE(tag);
    EXPECT_EQ(moved->refCount(), 1);
}

} // namespace

namespace {

TEST(CmnList, KeepsOrderAndCountsReferences)
{
    SOCmnList<SODaSTag> list(SOCmnListConfig{0x4000});
    auto a = makeTag("a");
    auto b = makeTag("b");
    list.add(a);
    list.add(b);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(a->refCount(), 2);
    {
        auto guard = list.lock();
        ASSERT_EQ(list.items().size(), 2u);
        EXPECT_EQ(list.items()[1], b);
    }
    EXPECT_TRUE(list.remove(a.get()));
    EXPECT_FALSE(list.remove(a.get()));
    EXPECT_EQ(a->refCount(), 1);
    auto copy = list.snapshot();
    EXPECT_EQ(copy.size(), 1u);
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.config().options, 0x4000u);
}

} // namespace
