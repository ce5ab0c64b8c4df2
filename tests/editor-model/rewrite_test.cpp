#include "editor/model/rewrite.h"
#include "model_fixture.h"

#include <gtest/gtest.h>

namespace {
const std::string kCompact =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<MOLVOmronHLCfg><OPC_DA>"
    "<PLC name=\"P\" id=\"2\" com=\"COM2\" baudrate=\"9600\" stopbits=\"1\" databits=\"8\" parity=\"NO\"><tags>"
    "<Oven><tag><name>T</name><comment>hot &amp; dry</comment><channel>DM0100</channel><datatype>VT_I2/BCD</datatype>"
    "<accessrights>READ</accessrights></tag></Oven></tags></PLC></OPC_DA></MOLVOmronHLCfg>";
}

TEST(Rewrite, NormalisesAFile)
{
    TempDir dir;
    writeFile(dir.file("in.xml"), kCompact);
    std::ostringstream err;
    EXPECT_EQ(runRewrite(dir.file("in.xml"), dir.file("out.xml"), err), 0);
    EXPECT_EQ(err.str(), "");
    std::string out = readFile(dir.file("out.xml"));
    EXPECT_NE(out.find("\t\t\t\t<OVEN>\r\n\t\t\t\t\t<tag>\r\n"), std::string::npos);
    EXPECT_NE(out.find("<channel>DM100</channel>"), std::string::npos);
    EXPECT_NE(out.find("<comment>hot &amp; dry</comment>"), std::string::npos);
    // A normalised file rewrites to itself.
    EXPECT_EQ(runRewrite(dir.file("out.xml"), dir.file("out2.xml"), err), 0);
    EXPECT_EQ(readFile(dir.file("out2.xml")), out);
}

TEST(Rewrite, FailuresExitOneWithMessages)
{
    TempDir dir;
    struct Case {
        const char* what;
        std::string in;
        std::string out;
        const char* message;
    } cases[] = {
        {"missing input", dir.file("none.xml"), dir.file("o1.xml"), " Error n. 53  File not found: "},
        {"skipped part", "dup", dir.file("o2.xml"), " in BrowseBranch"},
        {"unwritable output", "ok", dir.file("no/such/dir/o3.xml"), " in CreateXML"},
    };
    writeFile(dir.file("dup.xml"), "<R><OPC_DA><PLC name=\"P\" id=\"1\"><tags><A/><a/></tags></PLC></OPC_DA></R>");
    writeFile(dir.file("ok.xml"), kCompact);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string in = c.in == "dup" ? dir.file("dup.xml") : c.in == "ok" ? dir.file("ok.xml") : c.in;
        std::ostringstream err;
        EXPECT_EQ(runRewrite(in, c.out, err), 1);
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
        EXPECT_FALSE(std::filesystem::exists(c.out));
    }
}
