#include "common/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("registry-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
    }
    void TearDown() override { fs::remove_all(root); }

    std::string fileText(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path root;
};

TEST_F(RegistryTest, MissingRootKeyOrValueReadsAsAbsent)
{
    Registry reg(root);
    EXPECT_FALSE(reg.keyExists("SOFTWARE\\MOLVAutomation\\Vorlask"));
    EXPECT_FALSE(reg.readString("SOFTWARE\\MOLVAutomation\\Vorlask", "ConfigFile").has_value());
    EXPECT_TRUE(reg.values("SOFTWARE\\Nothing").empty());
    EXPECT_TRUE(reg.deleteValue("SOFTWARE\\Nothing", "x"));
}

TEST_F(RegistryTest, WritesTheDocumentedFileLayoutAndReadsItBackWithoutRegardToCase)
{
    Registry reg(root);
    ASSERT_TRUE(reg.writeString("Software\\MOLVAutomation\\Vorlask", "ConfigFile", "/plant/line=1.xml"));
    const fs::path file = root / "software/molvautomation/vorlask/values";
    EXPECT_EQ(fileText(file), "ConfigFile=/plant/line=1.xml\n");
    EXPECT_EQ(reg.readString("SOFTWARE\\MOLVAUTOMATION\\VORLASK", "configfile").value(), "/plant/line=1.xml");

    // Writing the same name in another case replaces the value rather than adding a line.
    ASSERT_TRUE(reg.writeString("SOFTWARE\\MOLVAutomation\\Vorlask", "CONFIGFILE", "/b.xml"));
    ASSERT_TRUE(reg.writeString("SOFTWARE\\MOLVAutomation\\Vorlask", "Other", ""));
    EXPECT_EQ(fileText(file), "CONFIGFILE=/b.xml\nOther=\n");
    EXPECT_EQ(reg.readString("SOFTWARE\\MOLVAutomation\\Vorlask", "other").value(), "");
}

TEST_F(RegistryTest, ReadsFilesWrittenByHand)
{
    fs::create_directories(root / "software/molvautomation/vorlask/ports");
    std::ofstream(root / "software/molvautomation/vorlask/ports/values")
        << "# comment lines have no name\nCOM1=/dev/ttyUSB0\r\nCOM3=/dev/serial/by-id/usb-x\n";
    Registry reg(root);
    EXPECT_EQ(reg.readString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", "com1").value(), "/dev/ttyUSB0");
    EXPECT_EQ(reg.readString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", "COM3").value(), "/dev/serial/by-id/usb-x");
    EXPECT_FALSE(reg.readString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", "COM2").has_value());
}

TEST_F(RegistryTest, RefusesLineBreaksAndKeepsTheOldValue)
{
    Registry reg(root);
    ASSERT_TRUE(reg.writeString("K", "V", "one"));
    std::string error;
    EXPECT_FALSE(reg.writeString("K", "V", "two\nV=three", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(reg.writeString("K", "A=B", "x"));
    EXPECT_EQ(reg.readString("K", "V").value(), "one");
}

TEST_F(RegistryTest, DeletesValuesAndWholeKeys)
{
    Registry reg(root);
    ASSERT_TRUE(reg.writeString("A\\B", "x", "1"));
    ASSERT_TRUE(reg.writeString("A\\B", "y", "2"));
    ASSERT_TRUE(reg.writeString("A\\B\\C", "z", "3"));
    ASSERT_TRUE(reg.deleteValue("a\\b", "X"));
    EXPECT_FALSE(reg.readString("A\\B", "x").has_value());
    EXPECT_EQ(reg.readString("A\\B", "y").value(), "2");
    ASSERT_TRUE(reg.deleteKey("A\\B"));
    EXPECT_FALSE(reg.keyExists("A\\B"));
    EXPECT_FALSE(reg.keyExists("A\\B\\C"));
    EXPECT_TRUE(reg.keyExists("A"));
    EXPECT_FALSE(reg.deleteKey(""));
}

TEST_F(RegistryTest, RootComesFromTheEnvironment)
{
    ::setenv("MOLV_REGISTRY_ROOT", root.c_str(), 1);
    EXPECT_EQ(Registry::defaultRoot(), root);
    ::setenv("MOLV_REGISTRY_ROOT", "", 1);
    EXPECT_EQ(Registry::defaultRoot(), fs::path("/etc/molv/registry"));
    ::unsetenv("MOLV_REGISTRY_ROOT");
    EXPECT_EQ(Registry::defaultRoot(), fs::path("/etc/molv/registry"));
}

} // namespace
