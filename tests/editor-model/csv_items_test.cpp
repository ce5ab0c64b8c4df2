#include "editor/model/csv_commands.h"
#include "editor/model/csv_items.h"
#include "editor/model/csv_text.h"
#include "editor/model/doc_snapshot.h"
#include "editor/model/xml_export.h"
#include "model_fixture.h"

#include <gtest/gtest.h>

namespace {

const std::string kHeader = "PLC,Branch,Name,Comment,Area,Address,Bit,Type,BCD,Elements,Access\r\n";

// Two PLCs with branches nested two deep, items and branches mixed at one level, every kind of
// field the file carries, and a comment that needs quoting.
void buildPlant(EditorDocument& doc, bool withItems = true)
{
    openEmpty(doc);
    addPlc(doc, "P1", 1);
    addPlc(doc, "P2", 2);
    if (!withItems)
        return;
    addItem(doc, "P1", "Top", "signed 16 bit", 5, "said \"hi\", then left");
    addBranch(doc, "P1", "MOTORS");
    auto flag = addItem(doc, "P1.MOTORS", "Run", "boolean", 10);
    flag->nBitNumber = 7;
    addBranch(doc, "P1.MOTORS", "SPARE");
    auto arr = addItem(doc, "P1.MOTORS.SPARE", "Speeds", "unsigned 32 bit array", 20, "semi;colon");
    arr->nElements = 12;
    arr->bBcd = true;
    auto text = addItem(doc, "P1.MOTORS", "Label", "string", 30, "Ümlaut");
    text->nElements = 16;
    text->sAccessRight = "READ";
    addItem(doc, "P1", "Last", "32 bit float", 40);
    auto timer = addItem(doc, "P2", "T1", "unsigned 16 bit", 3);
    timer->sArea = "TC";
    timer->bBcd = true;
}

std::string importFails(EditorDocument& doc, const std::string& csv)
{
    const std::string before = exportText(doc);
    CsvImport r = importItemsCsv(doc, csv);
    EXPECT_EQ(exportText(doc), before) << "a failed import changed the document";
    std::string all;
    for (const std::string& e : r.errors)
        all += e + "\n";
    return all;
}

} // namespace

TEST(CsvText, QuotesDelimitersAndLineEnds)
{
    struct Case {
        std::string text;
        std::vector<std::vector<std::string>> fields;
        std::vector<int> lines;
    } cases[] = {
        {"a,b\r\n\"x,1\",\"say \"\"hi\"\"\"\r\n", {{"a", "b"}, {"x,1", "say \"hi\""}}, {1, 2}},
        {"a,b\n\"two\r\nlines\",z\n\r\nlast,\n", {{"a", "b"}, {"two\r\nlines", "z"}, {"last", ""}}, {1, 2, 5}},
        {"a,\"\"\nno end", {{"a", ""}, {"no end"}}, {1, 2}},
    };
    for (const Case& c : cases) {
        std::vector<CsvRecord> records;
        CsvSyntaxError error;
        ASSERT_TRUE(parseCsv(c.text, ',', records, error)) << c.text;
        ASSERT_EQ(records.size(), c.fields.size()) << c.text;
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].fields, c.fields[i]) << c.text;
            EXPECT_EQ(records[i].line, c.lines[i]) << c.text;
        }
        // What csvLine writes reads back the same.
        std::string written;
        for (const auto& f : c.fields)
            written += csvLine(f);
        ASSERT_TRUE(parseCsv(written, ',', records, error));
        for (std::size_t i = 0; i < records.size(); ++i)
            EXPECT_EQ(records[i].fields, c.fields[i]);
    }
    std::vector<CsvRecord> records;
    CsvSyntaxError error;
    EXPECT_FALSE(parseCsv("a\n\"open\nstill", ',', records, error));
    EXPECT_EQ(error.line, 2);
    EXPECT_FALSE(parseCsv("\"a\"b,c", ',', records, error));
    EXPECT_EQ(csvDelimiter("PLC;Branch;\"a,b\""), ';');
    EXPECT_EQ(csvDelimiter("PLC,Branch;x"), ',');
}

TEST(CsvItems, RoundTripsKeepTheConfiguration)
{
    EditorDocument doc;
    buildPlant(doc);
    const std::string csv = exportItemsCsv(doc);
    EXPECT_EQ(csv.substr(0, kHeader.size()), kHeader);
    EXPECT_NE(csv.find("P1,MOTORS.SPARE,Speeds,semi;colon,DM,20,,VT_UI4 ARRAY,BCD,12,READWRITE\r\n"),
              std::string::npos);
    EXPECT_NE(csv.find("P1,MOTORS,Run,,DM,10,7,VT_BOOL,BIN,,READWRITE\r\n"), std::string::npos);

    // Into the same configuration: every item is replaced by itself.
    const DocSnapshot before = captureDocument(doc);
    doc.gbCfgSaved = true;
    CsvImport same = importItemsCsv(doc, csv);
    ASSERT_TRUE(same.ok()) << same.errors.front();
    EXPECT_EQ(same.summary(), "0 items added, 6 replaced, 0 branches created");
    EXPECT_TRUE(captureDocument(doc).sameContent(before));
    EXPECT_TRUE(doc.gbCfgSaved);

    // Into the same PLCs without items: the same file.
    EditorDocument empty;
    buildPlant(empty, false);
    CsvImport filled = importItemsCsv(empty, csv);
    ASSERT_TRUE(filled.ok()) << filled.errors.front();
    EXPECT_EQ(filled.summary(), "6 items added, 0 replaced, 2 branches created");
    EXPECT_EQ(exportText(empty), exportText(doc));
    EXPECT_FALSE(empty.gbCfgSaved);

    // Only what is below a node, with the path from its PLC.
    const std::string motors = exportItemsCsv(doc, doc.TreeView1.find("P1.MOTORS"));
    EXPECT_EQ(motors.find("Top"), std::string::npos);
    EXPECT_NE(motors.find("P1,MOTORS.SPARE,Speeds"), std::string::npos);
}

TEST(CsvItems, SemicolonsAnyColumnOrderReplacingAndNewBranches)
{
    EditorDocument doc;
    buildPlant(doc);
    const std::string csv = "\xEF\xBB\xBF"
                            "access;name;PLC;Branch;Comment;Area;Address;Bit;Type;BCD;Elements\r\n"
                            "read;Top;P1;;new comment;hr;7;;vt_i4;bin;\r\n"
                            "READ;New;P1;MOTORS.NEW.DEEP;;DM;1;15;VT_BOOL ARRAY;BIN;40\r\n"
                            "READ;valve;P2;;;TG;2;3;VT_BOOL;BIN;0\r\n";
    CsvImport r = importItemsCsv(doc, csv);
    ASSERT_TRUE(r.ok()) << r.errors.front();
    EXPECT_EQ(r.summary(), "2 items added, 1 replaced, 2 branches created");
    const clsItem& top = *doc.gcolItems.item("P1.Top");
    EXPECT_EQ(top.sComment, "new comment");
    EXPECT_EQ(top.sArea, "HR");
    EXPECT_EQ(top.sDataType, "signed 32 bit");
    EXPECT_EQ(top.sAccessRight, "READ");
    EXPECT_EQ(doc.TreeView1.find("P1.Top")->row(), 0); // replaced in its place
    const clsItem& deep = *doc.gcolItems.item("P1.MOTORS.NEW.DEEP.New");
    EXPECT_EQ(deep.nBitNumber, 15);
    EXPECT_EQ(deep.nElements, 40);
    EXPECT_TRUE(doc.gcolBranches.contains("P1.MOTORS.NEW.DEEP"));
    EXPECT_EQ(doc.TreeView1.find("P1.MOTORS.NEW")->tag(), "branch");
}

TEST(CsvItems, EveryFailingRowIsNamedAndNothingChanges)
{
    EditorDocument doc;
    buildPlant(doc);
    struct Case {
        const char* row;
        const char* error;
    } cases[] = {
        {"P1,,,c,DM,1,,VT_I2,BIN,,READ", "Item name field is empty."},
        {"P1,,A b,c,DM,1,,VT_I2,BIN,,READ", "Character ( ) not acceptable in string A b"},
        {"P1,,A\tb,c,DM,1,,VT_I2,BIN,,READ", "can not be written to the configuration file"},
        {"P9,,A,c,DM,1,,VT_I2,BIN,,READ", "PLC P9 is not in the configuration"},
        {"P1,X..Y,A,c,DM,1,,VT_I2,BIN,,READ", "the branch path X..Y has an empty branch name"},
        {"P1,tag,A,c,DM,1,,VT_I2,BIN,,READ", "is reserved for items"},
        {"P1,,A,c,XX,1,,VT_I2,BIN,,READ", "area XX is not one of"},
        {"P1,,A,c,DM,,,VT_I2,BIN,,READ", "Address field is empty."},
        {"P1,,A,c,DM,65536,,VT_I2,BIN,,READ", "It must be between 0 and 65535."},
        {"P1,,A,c,DM,-1,,VT_I2,BIN,,READ", "It must be between 0 and 65535."},
        {"P1,,A,c,DM,1,,VT_I8,BIN,,READ", "type VT_I8 is not a type word"},
        {"P1,,A,c,DM,1,,VT_BCD2,BCD,,READ", "only read by the editor"},
        {"P1,,A,c,TC,1,,VT_I2,BCD,,READ", "type VT_I2 is not offered for area TC"},
        {"P1,,A,c,TG,1,1,VT_UI2,BIN,,READ", "type VT_UI2 is not offered for area TG"},
        {"P1,,A,c,TC,1,,VT_UI2,BIN,,READ", "area TC holds BCD values"},
        {"P1,,A,c,DM,1,,VT_R4,BCD,,READ", "BCD coding is only for integer types"},
        {"P1,,A,c,DM,1,,VT_I2,yes,,READ", "BCD must be BCD or BIN"},
        {"P1,,A,c,DM,1,,VT_BOOL,BIN,,READ", "Bit number field is empty."},
        {"P1,,A,c,DM,1,16,VT_BOOL,BIN,,READ", "It must be between 0 and 15."},
        {"P1,,A,c,DM,1,3,VT_I2,BIN,,READ", "Bit number is only for boolean types"},
        {"P1,,A,c,DM,1,,VT_I2 ARRAY,BIN,,READ", "Number of elements field is empty."},
        {"P1,,A,c,DM,1,,VT_BSTR,BIN,40000,READ", "Number of elements field is not valid."},
        {"P1,,A,c,DM,1,,VT_I2,BIN,4,READ", "Number of elements is only for arrays and strings"},
        {"P1,,A,c,DM,1,,VT_I2,BIN,,ALL", "access ALL is not READ, WRITE or READWRITE"},
        {"P1,,MOTORS,c,DM,1,,VT_I2,BIN,,READ", "the name MOTORS is used by a branch at this level"},
        {"P1,Top,A,c,DM,1,,VT_I2,BIN,,READ", "branch Top: the name is used by an item at this level"},
        {"P1,,A,c,DM,1,,VT_I2,BIN,READ", "10 fields where the header has 11"},
    };
    for (const Case& c : cases) {
        // The failing row between two good ones: the line number is its own.
        const std::string csv = kHeader + "P1,,Good1,,DM,1,,VT_I2,BIN,,READ\r\n" + c.row + "\r\n" +
                                "P1,,Good2,,DM,1,,VT_I2,BIN,,READ\r\n";
        const std::string errors = importFails(doc, csv);
        EXPECT_EQ(errors.rfind("line 3: ", 0), 0u) << c.row << " gave " << errors;
        EXPECT_NE(errors.find(c.error), std::string::npos) << c.row << " gave " << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    }
    // Conflicts among the CSV's own rows, in either order.
    EXPECT_EQ(importFails(doc, kHeader + "P1,,A,,DM,1,,VT_I2,BIN,,READ\r\nP1,,A,,DM,2,,VT_I2,BIN,,READ\r\n"),
              "line 3: item P1.A is also on line 2\n");
    EXPECT_EQ(importFails(doc, kHeader + "P1,N,A,,DM,1,,VT_I2,BIN,,READ\r\nP1,,N,,DM,2,,VT_I2,BIN,,READ\r\n"),
              "line 3: the name N is used by a branch at this level\n");
    EXPECT_EQ(importFails(doc, kHeader + "P1,,N,,DM,1,,VT_I2,BIN,,READ\r\nP1,N,A,,DM,2,,VT_I2,BIN,,READ\r\n"),
              "line 3: branch N: the name is used by an item at this level\n");
    EXPECT_EQ(importFails(doc, "PLC,Branch,Name\r\n"), "line 1: column Comment is missing\n");
    EXPECT_EQ(importFails(doc, kHeader.substr(0, kHeader.size() - 2) + ",Extra\r\n").rfind("line 1: column Extra", 0),
              0u);
    EXPECT_EQ(importFails(doc, ""), "line 1: the header row is missing\n");
}

TEST(CsvItems, CommandsWriteOnlyWhenEveryRowPasses)
{
    TempDir dir;
    EditorDocument doc;
    buildPlant(doc);
    ScriptedPrompts prompts;
    ASSERT_TRUE(CreateXML(doc, dir.file("in.xml"), prompts));
    std::ostringstream out, err;
    ASSERT_EQ(runExportCsv(dir.file("in.xml"), dir.file("items.csv"), err), 0) << err.str();
    EXPECT_EQ(readFile(dir.file("items.csv")).substr(0, kHeader.size()), kHeader);
    ASSERT_EQ(runImportCsv(dir.file("in.xml"), dir.file("items.csv"), dir.file("out.xml"), out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "0 items added, 6 replaced, 0 branches created\n");
    EXPECT_EQ(readFile(dir.file("out.xml")), readFile(dir.file("in.xml")));

    writeFile(dir.file("bad.csv"), kHeader + "P1,,A,,DM,1,,VT_I2,BIN,,READ\r\nP7,,B,,DM,1,,VT_I2,BIN,,READ\r\n");
    err.str("");
    EXPECT_EQ(runImportCsv(dir.file("in.xml"), dir.file("bad.csv"), dir.file("bad.xml"), out, err), 1);
    EXPECT_EQ(err.str(), "line 3: PLC P7 is not in the configuration\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.xml")));
    err.str("");
    EXPECT_EQ(runImportCsv(dir.file("in.xml"), dir.file("none.csv"), dir.file("bad.xml"), out, err), 1);
    EXPECT_NE(err.str().find("can't read"), std::string::npos);
    EXPECT_EQ(runExportCsv(dir.file("none.xml"), dir.file("x.csv"), err), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.csv")));
}
