#include "server/polling/error_log.h"
#include "server/polling/message_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path freshFolder(const char* name) {
    fs::path dir = fs::temp_directory_path() /
                   (std::string("vorlask-log-") + name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::tm localTime(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

void loadFrom(MessageCatalog& catalog, const std::string& bytes, const char* name) {
    fs::path dir = freshFolder(name);
    writeFile(dir / "Vorlask.dat", bytes);
    catalog.load(dir / "Vorlask.dat");
    fs::remove_all(dir);
}

} // namespace

TEST(LogLine, CarriesNameDateTimeAndCatalogueText) {
    MessageCatalog catalog;
    fs::path dir = freshFolder("line");
    writeFile(dir / "Vorlask.dat", "0030 Garbled reply\r\nFFFF end\r\n");
    ASSERT_EQ(catalog.load(dir / "Vorlask.dat"), 0);
    EXPECT_EQ(formatLogLine(48, "Line2", localTime(2027, 1, 1, 14, 3), catalog),
              "Line2: 1 Gen 2027 14 03 Garbled reply\r\n");
    EXPECT_EQ(formatLogLine(48, "Press1", localTime(2026, 12, 6, 7, 5), catalog),
              "Press1: 6 Dec 2026 07 05 Garbled reply\r\n");
    EXPECT_EQ(formatLogLine(48, "P", localTime(2026, 3, 28, 9, 5), catalog),
              "P: 28 Mar 2026 09 05 Garbled reply\r\n");
    // A code the catalogue lacks leaves the text empty after the last blank.
    EXPECT_EQ(formatLogLine(65, "P", localTime(2026, 3, 28, 0, 0), catalog),
              "P: 28 Mar 2026 00 00 \r\n");
    fs::remove_all(dir);
}

TEST(LogLine, MonthWordsFollowTheTable) {
    const char* expected[] = {"Gen", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 1; m <= 12; ++m)
        EXPECT_STREQ(monthWord(m), expected[m - 1]) << m;
}

TEST(LogFile, AppendsLinesWithoutTerminator) {
    fs::path dir = freshFolder("append");
    appendLogLine("a: 1\r\n", dir);
    appendLogLine("b: 2\r\n", dir);
    EXPECT_EQ(readFile(dir / "Log.err"), "a: 1\r\nb: 2\r\n");
    EXPECT_FALSE(fs::exists(dir / "Log.bak"));
    fs::remove_all(dir);
}

TEST(LogFile, RotatesOnlyWhenLargerThanOneMillionBytes) {
    struct Case {
        std::size_t size;
        bool rotates;
    };
    for (Case c : {Case{1000000, false}, Case{1000001, true}}) {
        fs::path dir = freshFolder("rotate");
        const std::string old(c.size, 'x');
        writeFile(dir / "Log.err", old);
        writeFile(dir / "Log.bak", "older backup");
        appendLogLine("new\r\n", dir);
        if (c.rotates) {
            EXPECT_EQ(readFile(dir / "Log.err"), "new\r\n");
            EXPECT_EQ(readFile(dir / "Log.bak"), old);
        } else {
            EXPECT_EQ(readFile(dir / "Log.err"), old + "new\r\n");
            EXPECT_EQ(readFile(dir / "Log.bak"), "older backup");
        }
        fs::remove_all(dir);
    }
}

TEST(LogFile, UnopenableFileIsSkippedSilently) {
    fs::path dir = freshFolder("unopenable");
    fs::create_directories(dir / "Log.err"); // a folder where the file should be
    appendLogLine("lost\r\n", dir);
    EXPECT_TRUE(fs::is_directory(dir / "Log.err"));
    fs::remove_all(dir);
}

TEST(Catalogue, LooksUpTextsByCode) {
    MessageCatalog c;
    loadFrom(c, "0004 No reply\r\n0030 Garbled\r\n0041 Address over\r\nFFFF end\r\n", "lookup");
    std::string text = "stale";
    EXPECT_EQ(c.lookup(4, text), 0);
    EXPECT_EQ(text, "No reply");
    EXPECT_EQ(c.lookup(48, text), 0);
    EXPECT_EQ(text, "Garbled");
    EXPECT_EQ(c.lookup(65, text), 0);
    EXPECT_EQ(text, "Address over");
    EXPECT_EQ(c.lookup(16, text), 4);
    EXPECT_EQ(text, "");
    EXPECT_EQ(c.lookup(0, text), 4);
    EXPECT_EQ(c.records().size(), 4u); // the FFFF record is kept too
}

TEST(Catalogue, EdgeCasesOfRecords) {
    // Empty text, a code twice (first wins), any separator, and nothing read after FFFF.
    MessageCatalog c;
    loadFrom(c,
        "0001 \r\n0004:first\r\n0004 second\r\nFFFF-end\r\n0010 after the end\r\n", "edges");
    std::string text = "stale";
    EXPECT_EQ(c.lookup(1, text), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(c.lookup(4, text), 0);
    EXPECT_EQ(text, "first");
    EXPECT_EQ(c.lookup(16, text), 4);
}

TEST(Catalogue, LongTextsAreCutTo63Characters) {
    const std::string longText(80, 'm');
    MessageCatalog c;
    loadFrom(c, "0031 " + longText + "\r\n0040 next\r\nFFFF\r\n", "long");
    EXPECT_EQ(c.textFor(49), std::string(63, 'm'));
    EXPECT_EQ(c.textFor(64), "next");
}

TEST(Catalogue, LoadResults) {
    MessageCatalog missing;
    EXPECT_EQ(missing.load("/nonexistent/Vorlask.dat"), 1);
    EXPECT_FALSE(missing.isLoaded());

    fs::path dir = freshFolder("results");
    writeFile(dir / "cut.dat", "0004 No reply\r\n0030 Garb");
    writeFile(dir / "full.dat", "0004 Other\r\nFFFF\r\n");
    // A file that ends before FFFF keeps what it read; a later load changes nothing.
    EXPECT_EQ(missing.load(dir / "cut.dat"), 2);
    EXPECT_TRUE(missing.isLoaded());
    EXPECT_EQ(missing.load(dir / "full.dat"), 0);
    EXPECT_EQ(missing.textFor(4), "No reply");
    EXPECT_EQ(missing.textFor(48), "");
    fs::remove_all(dir);
}

TEST(Catalogue, DeliveredFileHasOneShortTextPerResult) {
    const char* source = std::getenv("VORLASK_SOURCE");
    if (source == nullptr)
        source = VORLASK_SOURCE_DIR;
    MessageCatalog c;
    ASSERT_EQ(c.load(fs::path(source) / "server/data/Vorlask.dat"), 0);
    for (int code : {1, 4, 16, 48, 49, 64, 65, 66, 67, 68, 69, 70, 71, 72}) {
        std::string text;
        EXPECT_EQ(c.lookup(static_cast<std::uint32_t>(code), text), 0) << code;
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_LE(text.size(), 63u) << code;
    }
    // The copy beside the executables is the same file.
    const char* bin = std::getenv("VORLASK_BIN");
    if (bin == nullptr)
        bin = VORLASK_BIN_DIR;
    EXPECT_EQ(readFile(fs::path(bin) / "Vorlask.dat"),
              readFile(fs::path(source) / "server/data/Vorlask.dat"));
}
