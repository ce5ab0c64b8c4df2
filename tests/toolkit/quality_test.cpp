#include <gtest/gtest.h>

#include "server/toolkit/quality.h"

namespace {

struct QualityText {
    std::uint16_t quality;
    const char* text;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const QualityText& c, std::ostream* os) { *os << c.text; }

class QualityTexts : public ::testing::TestWithParam<QualityText> {};

TEST_P(QualityTexts, MatchTheOpcWording)
{
    std::string text;
    EXPECT_TRUE(quality2string(text, GetParam().quality, kLocaleSystemDefault));
    EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Standard, QualityTexts,
    ::testing::Values(QualityText{0xC0, "Good"}, QualityText{0x00, "Bad"}, QualityText{0x0C, "Bad: Device Failure"},
                      QualityText{0x18, "Bad: Comm Failure"}, QualityText{0x1C, "Bad: Out of Service"},
                      QualityText{0x04, "Bad: Configuration Error"}, QualityText{0x08, "Bad: Not Connected"},
                      QualityText{0x40, "Uncertain"}, QualityText{0x44, "Uncertain: Last Usable Value"},
                      QualityText{0xD8, "Good: Local Override"}, QualityText{0x0D, "Bad: Device Failure, Low Limited"},
                      QualityText{0xC3, "Good, Constant"}, QualityText{0xC8, "Good"}, QualityText{0x80, "Unknown"}),
    [](const auto& info) { return "Quality" + std::to_string(info.param.quality); });

} // namespace
