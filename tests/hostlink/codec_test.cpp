#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/hostlink/hostlink_codec.h"
#include "server/hostlink/plc_health_codec.h"
#include "tests/hostlink/memory_line.h"

namespace {

std::string readCommand(std::uint8_t unit, MemoryArea area, std::uint16_t first, std::uint16_t count)
{
    char out[kReadCommandLength] = {};
    if (!buildReadCommand(unit, area, first, count, out))
        return {};
    return std::string(out, sizeof out);
}

MemoryArea area(int code)
{
    return static_cast<MemoryArea>(code);
}

} // namespace

TEST(HostLinkCodec, HeaderLettersCoverTheSevenAreasOnly)
{
    const std::string letters = "LHDJRCG";
    for (int code = 1; code <= 7; ++code)
        EXPECT_EQ(headerLetter(area(code)), letters[code - 1]) << code;
    for (int code : {0, 8, 9, 255})
        EXPECT_EQ(headerLetter(area(code)), 0) << code;
}

TEST(HostLinkCodec, PutNumberPadsAndDropsDigitsAboveTheWidth)
{
    struct Row { std::uint16_t value; int width; int base; const char* text; };
    const Row rows[] = {
        {0, 4, 10, "0000"},     {7, 2, 10, "07"},     {105, 2, 10, "05"},
        {12345, 4, 10, "2345"}, {65535, 5, 10, "65535"}, {0xABCD, 4, 16, "ABCD"},
        {0x0F, 4, 16, "000F"},  {0x1FF, 2, 16, "FF"}, {0x57, 2, 16, "57"},
    };
    for (const Row& r : rows) {
        char text[8] = {};
        putNumber(r.value, text, r.width, r.base);
        EXPECT_EQ(std::string(text, r.width), r.text) << r.value;
    }
}

TEST(HostLinkCodec, ParseHexWeighsEveryCharacterWithoutRejectingAny)
{
    EXPECT_EQ(parseHex("ABCD", 4), 0xABCD);
    EXPECT_EQ(parseHex("0001", 4), 1);
    EXPECT_EQ(parseHex("0B", 2), 0x0B);
    EXPECT_EQ(parseHex("A3", 2), 0xA3);
    EXPECT_EQ(parseHex("FFFF", 4), 0xFFFF);
    // "G" counts 71 - 55 = 16 and ":" 58 - 48 = 10, as the lenient rule says.
    EXPECT_EQ(parseHex("0G", 2), 16);
    EXPECT_EQ(parseHex("0:", 2), 10);
    // Lower-case letters are at or above "A": "a" is 97 - 55 = 42.
    EXPECT_EQ(parseHex("a", 1), 42);
}

TEST(HostLinkCodec, FcsIsTheXorOfTheBytesInUppercaseHex)
{
    char fcs[2];
    appendFcs("@00RD00000001", 13, fcs);
    EXPECT_EQ(std::string(fcs, 2), "57");
    appendFcs("@01RD01000002", 13, fcs);
    EXPECT_EQ(std::string(fcs, 2), "54");
    appendFcs("", 0, fcs);
    EXPECT_EQ(std::string(fcs, 2), "00");
    appendFcs("\xFA", 1, fcs);
    EXPECT_EQ(std::string(fcs, 2), "FA");
}

TEST(HostLinkCodec, EndCodesMapToResults)
{
    struct Row { std::uint16_t endCode; HostLinkResult result; };
    const Row rows[] = {{0x01, 70}, {0x02, 71}, {0x04, 65}, {0x0B, 72}, {0x13, 49},
                        {0x15, 68}, {0x23, 67}, {0xA3, 49}, {0x14, 69}, {0x03, 69}, {0xFF, 69}};
    for (const Row& r : rows)
        EXPECT_EQ(mapEndCode(r.endCode), r.result) << std::hex << r.endCode;
}

TEST(HostLinkCodec, QualityFollowsTheResultTable)
{
    for (int r : {1, 2, 4, 16, 48, 49})
        EXPECT_EQ(qualityForResult(r), 0x18) << r;
    for (int r : {64, 69, 70, 71, 72})
        EXPECT_EQ(qualityForResult(r), 0x0C) << r;
    for (int r : {65, 66, 67, 68})
        EXPECT_EQ(qualityForResult(r), 0x1C) << r;
    for (int r : {-1, 0, 3, 5, 15, 17, 47, 50, 63, 73, 1000})
        EXPECT_EQ(qualityForResult(r), 0x00) << r;
    EXPECT_TRUE(isLineFailure(1));
    EXPECT_TRUE(isLineFailure(63));
    EXPECT_FALSE(isLineFailure(0));
    EXPECT_FALSE(isLineFailure(64));
}

TEST(HostLinkCodec, ReadCommandsAreSeventeenBytesWithFcs)
{
    EXPECT_EQ(readCommand(0, MemoryArea::DM, 0, 1), "@00RD0000000157*\r");
    EXPECT_EQ(readCommand(1, MemoryArea::DM, 100, 2), "@01RD0100000254*\r");
    // Only four address digits and two unit digits go on the wire.
    EXPECT_EQ(readCommand(105, MemoryArea::DM, 12345, 1).substr(0, 13), "@05RD23450001");
    EXPECT_EQ(readCommand(0, MemoryArea::TG, 3, 4).substr(0, 13), "@00RG00030004");
    EXPECT_EQ(readCommand(0, area(0), 0, 1), "");
    EXPECT_EQ(readCommand(0, area(8), 0, 1), "");
}

TEST(HostLinkCodec, WriteFramesSplitByCharacterBudget)
{
    // 29 words fit the first frame; each later frame takes 30; TG 116 and 120 flags.
    EXPECT_EQ(writeFrameWords(MemoryArea::DM, true, 100), 29u);
    EXPECT_EQ(writeFrameWords(MemoryArea::DM, false, 100), 30u);
    EXPECT_EQ(writeFrameWords(MemoryArea::DM, true, 5), 5u);
    EXPECT_EQ(writeFrameWords(MemoryArea::TG, true, 500), 116u);
    EXPECT_EQ(writeFrameWords(MemoryArea::TG, false, 500), 120u);

    const std::uint16_t one[] = {0x1234};
    const std::string single = buildWriteFrame(true, true, 0, MemoryArea::DM, 0, one, 1);
    EXPECT_EQ(single, withFcs("@00WD00001234"));
    EXPECT_EQ(single.size(), 17u);

    std::vector<std::uint16_t> many(29, 0xBEEF);
    EXPECT_EQ(buildWriteFrame(true, true, 0, MemoryArea::DM, 0, many.data(), 29).size(), 129u);
    const std::string later = buildWriteFrame(false, false, 0, MemoryArea::DM, 0, many.data(), 2);
    EXPECT_EQ(later, withFcs("BEEFBEEF", false));

    const std::uint16_t flags[] = {1, 0, 0, 1};
    EXPECT_EQ(buildWriteFrame(true, true, 3, MemoryArea::TG, 7, flags, 4), withFcs("@03WG00071001"));
    EXPECT_EQ(buildWriteFrame(true, true, 0, area(0), 0, one, 1), "");
}

TEST(HostLinkCodec, ReadReplyCheckerJudgesTerminatorStartFcsAndEndCode)
{
    struct Row { std::string frame; bool first; HostLinkResult result; bool last; };
    const std::string good = withFcs("@00RD001234");
    std::string badFcs = good;
    badFcs[badFcs.size() - 4] = badFcs[badFcs.size() - 4] == '0' ? '1' : '0';
    const Row rows[] = {
        {good, true, 0, true},
        {withFcs("@00RD001234", false), true, 0, false},
        {good.substr(0, good.size() - 1), true, 48, false},  // no CR
        {"#" + good.substr(1), true, 48, false},             // not "@" first
        {withFcs("#1234"), false, 0, true},                  // later frames: no "@" check
        {badFcs, true, 49, false},
        {withFcs("@00RD0B"), true, 72, false},
        {withFcs("@00RDA3"), true, 49, false},
        {withFcs("@00RD14"), true, 69, false},
        {"\r", false, 48, false},
        {"", true, 4, false},
    };
    for (const Row& r : rows) {
        const ReadReplyFrame f = checkReadReplyFrame(r.frame.data(), r.frame.size(), r.first);
        EXPECT_EQ(f.result, r.result) << r.frame;
        if (f.result == 0) {
            EXPECT_EQ(f.last, r.last) << r.frame;
        }
    }
    const ReadReplyFrame f = checkReadReplyFrame(good.data(), good.size(), true);
    EXPECT_EQ(good.substr(f.dataOffset, f.dataLength), "1234");
}

TEST(HostLinkCodec, ReadDataBecomesWordsOrFlagsWithoutPartialWords)
{
    std::uint16_t words[4] = {9, 9, 9, 9};
    std::size_t index = 0;
    EXPECT_EQ(storeReadData(MemoryArea::TG, "1001", 4, words, 4, &index), 0);
    EXPECT_EQ(index, 4u);
    EXPECT_EQ(std::vector<std::uint16_t>(words, words + 4), (std::vector<std::uint16_t>{1, 0, 0, 1}));

    std::uint16_t two[2] = {0, 0};
    index = 0;
    // Extra words beyond count are dropped, not stored.
    EXPECT_EQ(storeReadData(MemoryArea::DM, "00010002FFFF", 12, two, 2, &index), 0);
    EXPECT_EQ(two[0], 1);
    EXPECT_EQ(two[1], 2);

    std::uint16_t w[2] = {7, 7};
    index = 0;
    EXPECT_EQ(storeReadData(MemoryArea::DM, "000100", 6, w, 2, &index), 48);
    EXPECT_EQ(w[1], 7);
}

TEST(HostLinkCodec, WriteReplyCheckers)
{
    EXPECT_EQ(checkWriteReply(withFcs("@00WD00").data(), 11), 0);
    EXPECT_EQ(checkWriteReply(withFcs("@00WD01").data(), 11), 70);
    EXPECT_EQ(checkWriteReply(withFcs("@00WD13").data(), 11), 49);
    std::string bad = withFcs("@00WD00");
    bad[7] = bad[7] == 'F' ? '0' : 'F';
    EXPECT_EQ(checkWriteReply(bad.data(), bad.size()), 49);
    EXPECT_EQ(checkWriteReply("@00WD00", 7), 48);
    EXPECT_EQ(checkWriteReply("", 0), 4);
    EXPECT_EQ(checkWriteContinuation("\r", 1), 0);
    EXPECT_EQ(checkWriteContinuation("x\r", 2), 64);
    EXPECT_EQ(checkWriteContinuation("x", 1), 48);
    EXPECT_EQ(checkWriteContinuation("", 0), 4);
}

// Frames with their FCS, as a PLC would send them.
std::string framed(const std::string& body)
{
    char fcs[2];
    appendFcs(body.data(), body.size(), fcs);
    return body + std::string(fcs, 2) + "*\r";
}

TEST(HostLinkCodec, StatusModelTestAndModeCommandsAndTheirReplies)
{
    EXPECT_EQ(buildCommand(5, "MS"), framed("@05MS"));
    EXPECT_EQ(buildCommand(31, "SC", "03"), framed("@31SC03"));
    EXPECT_EQ(buildCommand(0, "TS", "ABC"), framed("@00TSABC"));
    struct Case {
        const char* name;
        std::string command;
        std::string reply;
        bool hasEndCode;
        HostLinkResult result;
        std::string data;
    };
    const std::string ms = buildCommand(5, "MS"), mm = buildCommand(5, "MM"), ts = buildCommand(5, "TS", "HELLO");
    const Case cases[] = {
        {"status", ms, framed("@05MS000200"), true, 0, "0200"},
        {"status with message", ms, framed("@05MS00C200MOTOR OVERLOAD  "), true, 0, "C200MOTOR OVERLOAD  "},
        {"model", mm, framed("@05MM0011"), true, 0, "11"},
        {"test echo has no end code", ts, framed("@05TSHELLO"), false, 0, "HELLO"},
        {"mode change refused in RUN", buildCommand(5, "SC", "00"), framed("@05SC01"), true, kHostLinkRunMode, ""},
        {"unknown command", ms, framed("@05IC"), true, kHostLinkNotSupported, ""},
        {"another unit", ms, framed("@06MS000200"), true, kHostLinkBadFrame, ""},
        {"another command", ms, framed("@05MM0011"), true, kHostLinkBadFrame, ""},
        {"bad FCS", ms, "@05MS00020000*\r", true, kHostLinkFcsError, ""},
        {"no terminator", ms, framed("@05MS000200").substr(0, 12), true, kHostLinkBadFrame, ""},
        {"nothing", ms, "", true, kHostLinkNoReply, ""},
        {"short", ms, framed("@05"), true, kHostLinkBadFrame, ""},
        {"end code not hex", ms, framed("@05MSZZ"), true, kHostLinkBadFrame, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string data = "untouched";
        EXPECT_EQ(checkCommandReply(c.reply.data(), c.reply.size(), c.command, c.hasEndCode, &data), c.result);
        if (c.result == kHostLinkOk) {
            EXPECT_EQ(data, c.data);
        }
    }

    struct Status {
        const char* data;
        bool ok;
        const char* mode; // nullptr: not known
        bool fatal, fals;
        const char* message;
    };
    const Status statuses[] = {
        {"0000", true, "PROGRAM", false, false, ""},
        {"0200", true, "RUN", false, false, ""},
        {"0300", true, "MONITOR", false, false, ""},
        {"0100", true, nullptr, false, false, ""},
        {"C200MOTOR OVERLOAD  ", true, "RUN", true, true, "MOTOR OVERLOAD"},
        {"4000\x01X", true, "PROGRAM", false, true, "?X"},
        {"02", false, nullptr, false, false, ""},
        {"02G0", false, nullptr, false, false, ""},
    };
    for (const Status& s : statuses) {
        SCOPED_TRACE(s.data);
        const auto r = parseStatusData(s.data);
        ASSERT_EQ(r.has_value(), s.ok);
        if (!s.ok)
            continue;
        EXPECT_EQ(r->modeKnown, s.mode != nullptr);
        if (s.mode) {
            EXPECT_STREQ(modeName(r->mode), s.mode);
        }
        EXPECT_EQ(r->fatal, s.fatal);
        EXPECT_EQ(r->fals, s.fals);
        EXPECT_EQ(r->message, s.message);
    }
    EXPECT_EQ(parseModelData("12"), std::optional<std::uint8_t>(0x12));
    EXPECT_FALSE(parseModelData("1").has_value());
    EXPECT_EQ(modelName(0x12), "C20H/C28H/C40H/C200H/C200HS");
    EXPECT_EQ(modelName(0x7A), "model code 7A");
    for (PlcMode m : {PlcMode::Program, PlcMode::Monitor, PlcMode::Run}) {
        EXPECT_EQ(modeOfChangeCode(modeChangeCode(m)), m);
        EXPECT_EQ(modeOfStatus(statusWord(m, false, false)), m);
        EXPECT_EQ(modeFromName(std::string(modeName(m))), m);
    }
    EXPECT_EQ(modeFromName("run"), PlcMode::Run);
    EXPECT_FALSE(modeFromName("stop").has_value());
}
