// readWords/writeWords over a SerialPort on an in-memory line, replies cut into bursts of 1, 3
// and all bytes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "server/hostlink/hostlink_codec.h"
#include "server/hostlink/hostlink_transactions.h"
#include "server/hostlink/serial_port.h"
#include "tests/hostlink/memory_line.h"

namespace {

class Transactions : public ::testing::TestWithParam<std::size_t> {
protected:
    Transactions()
    {
        auto owned = std::make_unique<MemoryLine>();
        line = owned.get();
        port = std::make_unique<SerialPort>("COM1", SerialSettings{}, std::move(owned));
        port->open();
    }

    // Answers the first write with replies[0], each later write with the next entry.
    void answer(std::vector<std::string> replies)
    {
        line->responder = [this, replies, i = std::size_t(0)](const std::string&) mutable {
            if (i >= replies.size())
                return std::vector<std::string>{};
            return inBursts(replies[i++], GetParam());
        };
    }

    HostLinkResult read(MemoryArea area, std::uint16_t first, std::uint16_t count, std::uint8_t unit = 0)
    {
        words.assign(count + 4, 0xEEEE);
        return readWordsOn(*port, unit, area, first, count, words.data(), buffer);
    }

    HostLinkResult write(MemoryArea area, std::uint16_t first, const std::vector<std::uint16_t>& w)
    {
        return writeWordsOn(*port, 0, area, first, static_cast<std::uint16_t>(w.size()), w.data(), buffer);
    }

    MemoryLine* line = nullptr;
    std::unique_ptr<SerialPort> port;
    std::vector<std::uint16_t> words;
    std::uint8_t buffer[kReceiveBufferSize] = {};
};

std::string hexWords(std::uint16_t from, std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        char d[4];
        putNumber(static_cast<std::uint16_t>(from + i), d, 4, 16);
        s.append(d, 4);
    }
    return s;
}

} // namespace

TEST_P(Transactions, ReadOfOneWordSendsTheGoldenCommandAndStoresTheWord)
{
    answer({withFcs("@00RD00BEEF")});
    EXPECT_EQ(read(MemoryArea::DM, 0, 1), 0);
    EXPECT_EQ(line->sent, "@00RD0000000157*\r");
    EXPECT_EQ(words[0], 0xBEEF);
    EXPECT_EQ(words[1], 0xEEEE);
}

TEST_P(Transactions, ReadOverThreeFramesAsksWithLoneCrsAndFillsConsecutively)
{
    answer({withFcs("@01RD00" + hexWords(1, 30), false), withFcs(hexWords(31, 31), false),
            withFcs(hexWords(62, 9))});
    ASSERT_EQ(read(MemoryArea::DM, 100, 70, 1), 0);
    ASSERT_EQ(line->writes.size(), 3u);
    EXPECT_EQ(line->writes[0], withFcs("@01RD01000070"));
    EXPECT_EQ(line->writes[1], "\r");
    EXPECT_EQ(line->writes[2], "\r");
    for (std::size_t i = 0; i < 70; ++i)
        EXPECT_EQ(words[i], i + 1) << i;
    EXPECT_EQ(words[70], 0xEEEE);
}

TEST_P(Transactions, ReadOfTimerFlagsGivesOneWordPerCharacter)
{
    answer({withFcs("@00RG001001")});
    ASSERT_EQ(read(MemoryArea::TG, 0, 4), 0);
    EXPECT_EQ(std::vector<std::uint16_t>(words.begin(), words.begin() + 4),
              (std::vector<std::uint16_t>{1, 0, 0, 1}));
}

TEST_P(Transactions, ReadFailuresGiveTheirResults)
{
    struct Row { std::vector<std::string> replies; HostLinkResult result; const char* what; };
    std::string badFcs = withFcs("@00RD001234");
    badFcs[11] = badFcs[11] == '0' ? '1' : '0';
    const std::vector<Row> rows = {
        {{}, 4, "silence"},
        {{"@00RD001234"}, 48, "no CR"},
        {{withFcs("X00RD001234")}, 48, "first byte not @"},
        {{badFcs}, 49, "FCS"},
        {{withFcs("@00RD0B")}, 72, "end code 0B"},
        {{withFcs("@00RDA3")}, 49, "end code A3"},
        {{withFcs("@00RD14")}, 69, "end code 14"},
        {{withFcs("@00RD04")}, 65, "end code 04"},
        {{withFcs("@00RD00123")}, 48, "data not a multiple of 4"},
        {{withFcs("@00RD001234", false)}, 4, "next frame never comes"},
        {{std::string(600, '@')}, 48, "buffer full without CR"},
    };
    for (const Row& r : rows) {
        line->sent.clear();
        answer(r.replies);
        EXPECT_EQ(read(MemoryArea::DM, 0, 1), r.result) << r.what;
    }
}

TEST_P(Transactions, LaterFramesAreNotCheckedForTheAtSign)
{
    answer({withFcs("@00RD001111", false), withFcs("@222")});
    // "@222" is one 4-character group: the later frame's "@" is data, judged by parseHex.
    ASSERT_EQ(read(MemoryArea::DM, 0, 2), 0);
    EXPECT_EQ(words[0], 0x1111);
    EXPECT_EQ(words[1], parseHex("@222", 4));
}

TEST_P(Transactions, RepliesThatAnswerAnotherCommandAreRefusedAndFlushed)
{
    // A late reply to an earlier command must never pass for the answer to this one.
    struct Case {
        const char* what;
        bool isRead;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"more words than asked", true, withFcs("@00RD00" + hexWords(1, 3))},
        {"fewer words than asked", true, withFcs("@00RD00" + hexWords(1, 1))},
        {"another unit", true, withFcs("@01RD00" + hexWords(1, 2))},
        {"another area", true, withFcs("@00RH00" + hexWords(1, 2))},
        {"a write's reply to a read", true, withFcs("@00WD00")},
        {"a read's reply to a write", false, withFcs("@00RD00" + hexWords(1, 2))},
        {"another unit's write reply", false, withFcs("@03WD00")},
        {"another area's write reply", false, withFcs("@00WH00")},
    };
    for (const Case& c : cases) {
        answer({c.reply});
        const int discardsBefore = line->discards;
        const HostLinkResult r = c.isRead ? read(MemoryArea::DM, 0, 2) : write(MemoryArea::DM, 0, {7});
        EXPECT_EQ(r, 48) << c.what;
        EXPECT_GE(line->discards - discardsBefore, 2) << c.what << ": input flushed after the mismatch";
        if (c.isRead) {
            EXPECT_EQ(words[2], 0xEEEE) << c.what;
        }
    }
    answer({withFcs("@00RD00" + hexWords(1, 2))});
    EXPECT_EQ(read(MemoryArea::DM, 0, 2), 0);
}

TEST_P(Transactions, AreasWithoutLetterSendNothing)
{
    for (int code : {0, 8}) {
        EXPECT_EQ(read(static_cast<MemoryArea>(code), 0, 1), 66);
        EXPECT_EQ(write(static_cast<MemoryArea>(code), 0, {1}), 66);
    }
    EXPECT_EQ(write(MemoryArea::DM, 0, {}), 0);
    EXPECT_TRUE(line->sent.empty());
}

TEST_P(Transactions, SendFailureGivesOne)
{
    line->writeStatus = LineStatus::Failed;
    EXPECT_EQ(read(MemoryArea::DM, 0, 1), 1);
    EXPECT_EQ(write(MemoryArea::DM, 0, {1}), 1);
    EXPECT_TRUE(port->isOpen());
}

TEST_P(Transactions, WriteOfOneWordIsOneGoldenFrame)
{
    answer({withFcs("@00WD00")});
    EXPECT_EQ(write(MemoryArea::DM, 0, {0x1234}), 0);
    EXPECT_EQ(line->sent, withFcs("@00WD00001234"));
    EXPECT_EQ(line->sent.size(), 17u);
}

TEST_P(Transactions, WriteFrameCountsFollowTheBudgets)
{
    struct Row { std::size_t words; std::vector<std::size_t> sizes; };
    const std::vector<Row> rows = {
        {29, {129}},
        {30, {128, 8}},          // 9 + 116 + 3, then 4 + 4
        {59, {128, 124}},        // 29 + 30
        {60, {128, 123, 8}},     // 29 + 30 + 1
    };
    for (const Row& r : rows) {
        line->writes.clear();
        std::vector<std::string> replies(r.sizes.size() - 1, "\r");
        replies.push_back(withFcs("@00WD00"));
        answer(replies);
        std::vector<std::uint16_t> data(r.words);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint16_t>(i);
        ASSERT_EQ(write(MemoryArea::DM, 10, data), 0) << r.words;
        ASSERT_EQ(line->writes.size(), r.sizes.size()) << r.words;
        for (std::size_t i = 0; i < r.sizes.size(); ++i)
            EXPECT_EQ(line->writes[i].size(), r.sizes[i]) << r.words << " frame " << i;
        // Only the first frame has a header; only the last ends "*" CR.
        EXPECT_EQ(line->writes[0].substr(0, 9), "@00WD0010");
        for (std::size_t i = 1; i < r.sizes.size(); ++i)
            EXPECT_NE(line->writes[i][0], '@');
        EXPECT_EQ(line->writes.back().substr(line->writes.back().size() - 2), "*\r");
    }
    // The data of the 60-word write: words 29..58 in the second frame, 59 in the third.
    EXPECT_EQ(line->writes[1], withFcs(hexWords(29, 30), false));
    EXPECT_EQ(line->writes[2], withFcs(hexWords(59, 1)));
}

TEST_P(Transactions, WriteOfTimerFlagsSendsOneCharacterEach)
{
    answer({withFcs("@00WG00")});
    EXPECT_EQ(write(MemoryArea::TG, 5, {1, 0, 1}), 0);
    EXPECT_EQ(line->sent, withFcs("@00WG0005101"));
}

TEST_P(Transactions, WriteFailuresGiveTheirResults)
{
    struct Row { std::size_t words; std::vector<std::string> replies; HostLinkResult result; const char* what; };
    std::string badFcs = withFcs("@00WD00");
    badFcs[8] = badFcs[8] == '0' ? '1' : '0';
    const std::vector<Row> rows = {
        {30, {"x\r"}, 64, "two bytes to a non-final frame"},
        {30, {withFcs("@00WD01")}, 64, "error frame to a non-final frame"},
        {30, {"x"}, 48, "non-final reply without CR"},
        {30, {}, 4, "no reply to the first frame"},
        {30, {"\r"}, 4, "no reply to the last frame"},
        {1, {"@00WD0053*"}, 48, "final reply without CR"},
        {1, {badFcs}, 49, "FCS"},
        {1, {withFcs("@00WD01")}, 70, "RUN mode"},
        {1, {withFcs("@00WD02")}, 71, "MONITOR mode"},
        {1, {withFcs("@00WD23")}, 67, "protected"},
        {1, {withFcs("@00WD15")}, 68, "entry number"},
    };
    for (const Row& r : rows) {
        answer(r.replies);
        EXPECT_EQ(write(MemoryArea::DM, 0, std::vector<std::uint16_t>(r.words, 1)), r.result) << r.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Bursts, Transactions, ::testing::Values(1, 3, 0),
                         [](const auto& info) {
                             return info.param == 0 ? std::string("Whole")
                                                    : "Of" + std::to_string(info.param);
                         });
