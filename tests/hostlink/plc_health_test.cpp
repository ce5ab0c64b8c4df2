// What the polling worker asks a PLC about itself, and when.
#include <gtest/gtest.h>

#include "server/polling/plc_health.h"

namespace {

using namespace std::chrono_literals;

TEST(PlcHealth, AsksModelThenStatusAndWaitsAnIntervalAfterAFailure)
{
    PlcHealth h;
    const auto t0 = PlcHealth::Clock::now();
    const auto every = 10000ms;
    EXPECT_EQ(h.due(false, every, t0), nullptr) << "nothing for a PLC that does not answer";
    EXPECT_STREQ(h.due(true, 0ms, t0), nullptr) << "StatusPollMs 0: neither";
    ASSERT_STREQ(h.due(true, every, t0), "MM");
    EXPECT_TRUE(h.modelAnswered(kHostLinkOk, "12", every, t0).empty());
    ASSERT_STREQ(h.due(true, every, t0), "MS");
    EXPECT_TRUE(h.statusAnswered(kHostLinkOk, "0300", every, t0).empty()) << "the first status reports nothing";
    EXPECT_EQ(h.snapshot().mode, PlcMode::Monitor);
    EXPECT_EQ(h.due(true, every, t0 + 9s), nullptr);

    // A status read that times out: nothing more until the next interval, and the mode unknown.
    ASSERT_STREQ(h.due(true, every, t0 + 10s), "MS");
    EXPECT_TRUE(h.statusAnswered(kHostLinkNoReply, "", every, t0 + 10s).empty());
    EXPECT_FALSE(h.snapshot().mode.has_value());
    EXPECT_EQ(h.due(true, every, t0 + 11s), nullptr);
    ASSERT_STREQ(h.due(true, every, t0 + 20s), "MS");
    EXPECT_EQ(h.statusAnswered(kHostLinkOk, "0200", every, t0 + 20s),
              std::vector<std::string>{"PLC mode MONITOR -> RUN"});

    // IC: never asked again.
    ASSERT_STREQ(h.due(true, every, t0 + 30s), "MS");
    h.statusAnswered(kHostLinkNotSupported, "", every, t0 + 30s);
    EXPECT_EQ(h.due(true, every, t0 + 100s), nullptr);

    // Silent, then answering again: the model is asked anew.
    EXPECT_EQ(h.due(false, every, t0 + 101s), nullptr);
    EXPECT_STREQ(h.due(true, every, t0 + 102s), "MM");
}

} // namespace
