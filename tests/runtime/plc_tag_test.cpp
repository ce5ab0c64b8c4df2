#include <gtest/gtest.h>

#include "server/tags/plc_tag.h"
#include "server/tags/requests.h"
#include "tests/runtime/fake_plc.h"

namespace {

class Queues : public ::testing::Test {
protected:
    void SetUp() override { createRequestQueues(); }
    void TearDown() override { destroyRequestQueues(); }
    // Outlives the queued requests, which hold their tags until TearDown.
    SOCmnPointer<FakePlc> plc = makeObject<FakePlc>();
};

TEST(PlcTag, CreationSetsTheToolkitBaseAndTheFields)
{
    auto plc = makeObject<FakePlc>();
    EXPECT_EQ(plc->refCount(), 1);
    auto tag = makeObject<PlcTag>("Speed", 3, true, vt::UI2, "Line speed", 120, MemoryArea::HR, 4, 0, plc.get());
    EXPECT_EQ(tag->getName(), "Speed");
    EXPECT_EQ(tag->getAccessRights(), 3);
    EXPECT_EQ(tag->getDeviceIOMode(), kDeviceIOHandleRequest);
    EXPECT_EQ(tag->getNativeDatatype(), vt::UI2);
    EXPECT_TRUE(tag->bcd());
    EXPECT_EQ(tag->address(), 120);
    EXPECT_EQ(tag->area(), MemoryArea::HR);
    EXPECT_EQ(tag->bit(), 4);
    EXPECT_EQ(tag->elements(), 0);
    EXPECT_FALSE(tag->inBlock());
    EXPECT_EQ(tag->block(), nullptr);
    EXPECT_EQ(tag->listRow(), -1);
    EXPECT_TRUE(tag->activeItems().empty());
    EXPECT_EQ(tag->owner(), plc.get());
    EXPECT_EQ(plc->refCount(), 2); // the tag's counted reference
    auto props = tag->getProperties();
    ASSERT_EQ(props.size(), 1u);
    EXPECT_EQ(props[0]->getPropertyId(), kPropertyDescription);
    EXPECT_EQ(props[0]->getConstantValue(), Variant::fromString("Line speed"));

    tag.reset();
    EXPECT_EQ(plc->refCount(), 1); // released with the tag
}

TEST(PlcTag, FreshScalarHasGoodQualityAndNoValue)
{
    FakePlc plc;
    for (std::uint16_t type : {vt::BOOL, vt::I2, vt::UI2, vt::I4, vt::UI4, vt::R4}) {
        auto tag = makeTag(&plc, type);
        auto s = tag->getCache()->snapshot();
        EXPECT_FALSE(s.hasValue) << type;
        EXPECT_TRUE(s.value.isEmpty());
        EXPECT_EQ(s.quality, kOpcQualityGood);
        Variant typed; // converters still see the native datatype
        ASSERT_TRUE(tag->getCache()->getValue(typed));
        EXPECT_EQ(typed.vartype(), type);
    }
}

TEST(PlcTag, FreshArrayAndStringHoldElements)
{
    FakePlc plc;
    for (std::uint16_t type : {vt::ARRAY | vt::BOOL, vt::ARRAY | vt::I1, vt::ARRAY | vt::UI1, vt::ARRAY | vt::I2,
                               vt::ARRAY | vt::UI2, vt::ARRAY | vt::I4, vt::ARRAY | vt::R4, vt::ARRAY | vt::UI4}) {
        auto tag = makeTag(&plc, type, false, MemoryArea::DM, 0, 6);
        auto s = tag->getCache()->snapshot();
        ASSERT_TRUE(s.hasValue);
        EXPECT_EQ(s.value.vartype(), type);
        EXPECT_EQ(s.value.arraySize(), 6u);
        EXPECT_EQ(s.quality, kOpcQualityGood);
    }
    auto text = makeTag(&plc, vt::BSTR, false, MemoryArea::DM, 0, 5);
    auto s = text->getCache()->snapshot();
    EXPECT_EQ(s.value.vartype(), vt::BSTR);
    EXPECT_EQ(s.value.str().size(), 5u);
}

TEST(PlcTag, UnknownDatatypeMakesATagWithoutValue)
{
    FakePlc plc;
    auto tag = makeTag(&plc, 0, false, MemoryArea::None, 0, 3);
    EXPECT_EQ(tag->wordCount(), 0);
    Variant v;
    EXPECT_FALSE(tag->getCache()->getValue(v));
    EXPECT_EQ(tag->area(), MemoryArea::None);
}

TEST(PlcTag, WorksWithoutOwner)
{
    auto tag = makeObject<PlcTag>("T", 1, false, vt::I2, "", 0, MemoryArea::DM, 0, 0, nullptr);
    EXPECT_EQ(tag->owner(), nullptr);
}

TEST_F(Queues, DeviceReadsAndWritesAreQueuedWithAReference)
{
    auto tag = makeTag(plc.get(), vt::I2);
    for (std::uint16_t type : {SODaSRequest::kSyncDeviceRead, SODaSRequest::kAsyncDeviceRead}) {
        auto req = makeObject<SODaSRequest>(SODaSRequest::read, type, tag);
        tag->handleRequest(req.get());
        EXPECT_TRUE(req->isPending());
        EXPECT_FALSE(req->isCompleted());
        EXPECT_EQ(req->refCount(), 2);
    }
    auto write = makeObject<SODaSRequest>(SODaSRequest::write, SODaSRequest::kSyncWrite, tag, Variant::fromI2(3));
    tag->handleRequest(write.get());
    EXPECT_TRUE(write->isPending());

    std::lock_guard g(requestLock);
    ASSERT_EQ(readRequestList->size(), 2u);
    EXPECT_EQ(readRequestList->front().tag, tag.get());
    EXPECT_EQ(readRequestList->front().request->getType(), SODaSRequest::kSyncDeviceRead);
    ASSERT_EQ(writeRequestList->size(), 1u);
    EXPECT_EQ(writeRequestList->front().request, write);
}

TEST_F(Queues, OtherReadKindsCompleteAtOnceWithoutTouchingQuality)
{
    auto tag = makeTag(plc.get(), vt::I2);
    tag->getCache()->setQuality(kOpcQualityCommFailure);
    for (std::uint16_t type : {SODaSRequest::kRefreshRead, SODaSRequest::kCyclicRead}) {
        auto req = makeObject<SODaSRequest>(SODaSRequest::read, type, tag);
        tag->handleRequest(req.get());
        ASSERT_TRUE(req->isCompleted());
        EXPECT_EQ(req->getResult(), kResultOk);
        EXPECT_FALSE(req->isQualityValid());
        EXPECT_EQ(req->getQuality(), 0x40);
        EXPECT_EQ(req->getDetail(), 0);
        EXPECT_EQ(req->getNotify(), 1);
    }
    EXPECT_EQ(readRequestListLength(), 0u);
    EXPECT_EQ(tag->getCache()->getQuality(), kOpcQualityCommFailure);
}

TEST_F(Queues, OtherOperationsDoNothing)
{
    auto tag = makeTag(plc.get(), vt::I2);
    auto req = makeObject<SODaSRequest>(static_cast<SODaSRequest::Operation>(2), SODaSRequest::kSyncDeviceRead, tag);
    tag->handleRequest(req.get());
    EXPECT_FALSE(req->isCompleted());
    EXPECT_FALSE(req->isPending());
    EXPECT_EQ(readRequestListLength() + writeRequestListLength(), 0u);
}

TEST(RequestQueues, CreationKeepsWhatExists)
{
    createRequestQueues();
    appendActivationChange({1, 0, 100, nullptr});
    createRequestQueues();
    EXPECT_EQ(activationQueueLength(), 1u);
    destroyRequestQueues();
    EXPECT_EQ(activationQueueLength(), 0u);
    EXPECT_FALSE(appendActivationChange({1, 0, 100, nullptr}));
}

TEST(RequestQueues, WithoutQueuesARequestFailsInsteadOfHanging)
{
    FakePlc plc;
    auto tag = makeTag(&plc, vt::I2);
    auto req = makeObject<SODaSRequest>(SODaSRequest::read, SODaSRequest::kSyncDeviceRead, tag);
    tag->handleRequest(req.get());
    ASSERT_TRUE(req->isCompleted());
    EXPECT_EQ(req->getResult(), kResultFail);
}

TEST(RequestQueues, DestroyingAnswersWhatIsStillQueued)
{
    createRequestQueues();
    FakePlc plc;
    auto tag = makeTag(&plc, vt::I2);
    auto read = makeObject<SODaSRequest>(SODaSRequest::read, SODaSRequest::kSyncDeviceRead, tag);
    auto write = makeObject<SODaSRequest>(SODaSRequest::write, SODaSRequest::kSyncWrite, tag, Variant::fromI2(1));
    tag->handleRequest(read.get());
    tag->handleRequest(write.get());
    destroyRequestQueues();
    EXPECT_EQ(read->getResult(), kResultFail);
    EXPECT_EQ(write->getResult(), kResultFail);
    EXPECT_EQ(read->refCount(), 1); // the queue's reference is gone
}

} // namespace
