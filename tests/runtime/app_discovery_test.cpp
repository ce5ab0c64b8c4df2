#include "server/runtime/config_discovery.h"
#include "server/door_base/door_socket_path.h"

#include "common/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

struct Counting {
    int keyReads = 0;
    int valueReads = 0;
    std::set<std::string> readable;
    bool keyExists = true;
    std::optional<std::string> value;
    std::optional<std::string> exe = std::string("/opt/vorlask/bin/vorlask");

    DiscoverySources sources()
    {
        DiscoverySources s;
        s.executablePath = [this] { return exe; };
        s.canRead = [this](const std::string& p) { return readable.count(p) > 0; };
        s.registryKeyOpens = [this] {
            ++keyReads;
            return keyExists;
        };
        s.registryConfigFile = [this] {
            ++valueReads;
            return value;
        };
        return s;
    }
};

TEST(ConfigDiscovery, FileBesideTheExecutableWinsAndTheRegistryIsNotRead)
{
    Counting c;
    c.readable.insert("/opt/vorlask/bin/vorlask.xml");
    c.value = "/plant/other.xml";
    const ConfigChoice choice = discoverConfiguration(c.sources());
    EXPECT_TRUE(choice.load);
    EXPECT_EQ(choice.path, "/opt/vorlask/bin/vorlask.xml");
    EXPECT_FALSE(choice.missingBox);
    EXPECT_EQ(c.keyReads, 0);
    EXPECT_EQ(c.valueReads, 0);
}

TEST(ConfigDiscovery, RegistryValueIsUsedWhenNoFileIsBeside)
{
    Counting c;
    c.value = "/plant/line1.xml";
    const ConfigChoice choice = discoverConfiguration(c.sources());
    EXPECT_TRUE(choice.load);
    EXPECT_EQ(choice.path, "/plant/line1.xml");
    EXPECT_EQ(c.valueReads, 1);
}

TEST(ConfigDiscovery, MissingKeyShowsTheBoxAndLoadsNothing)
{
    Counting c;
    c.keyExists = false;
    const ConfigChoice choice = discoverConfiguration(c.sources());
    EXPECT_FALSE(choice.load);
    EXPECT_TRUE(choice.missingBox);
    EXPECT_EQ(c.valueReads, 0);
}

TEST(ConfigDiscovery, MissingValueLeavesTheExecutablePath)
{
    Counting c;
    const ConfigChoice choice = discoverConfiguration(c.sources());
    EXPECT_TRUE(choice.load);
    EXPECT_EQ(choice.path, "/opt/vorlask/bin/vorlask");
    EXPECT_FALSE(choice.missingBox);
}

TEST(ConfigDiscovery, UnknownExecutablePathLoadsAnEmptyPath)
{
    Counting c;
    c.exe.reset();
    const ConfigChoice choice = discoverConfiguration(c.sources());
    EXPECT_TRUE(choice.load);
    EXPECT_EQ(choice.path, "");
    EXPECT_EQ(c.keyReads, 0);
}

TEST(ConfigDiscovery, RegistryValueIsCutToTheBuffer)
{
    Counting c;
    c.value = std::string(300, 'a');
    EXPECT_EQ(discoverConfiguration(c.sources()).path.size(), kPathBufferSize - 1);
}

TEST(ConfigDiscovery, PathBesideTheExecutable)
{
    EXPECT_EQ(configPathBesideExecutable("/opt/vorlask/bin/vorlask"), "/opt/vorlask/bin/vorlask.xml");
    EXPECT_EQ(configPathBesideExecutable("/srv/Vorlask.exe"), "/srv/Vorlask.xml");
    EXPECT_EQ(configPathBesideExecutable("/srv/VORLASK.EXE"), "/srv/VORLASK.xml");
    // Only a trailing ".exe" goes: a folder with ".exe" in its name stays whole.
    EXPECT_EQ(configPathBesideExecutable("/opt/my.exercise/vorlask"), "/opt/my.exercise/vorlask.xml");
}

TEST(ConfigDiscovery, SystemSourcesReadTheRegistryHive)
{
    const auto root = std::filesystem::temp_directory_path() / ("app-disc-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    ::setenv("MOLV_REGISTRY_ROOT", root.c_str(), 1);
    const DiscoverySources s = systemDiscoverySources();
    EXPECT_FALSE(s.registryKeyOpens());
    Registry(root).writeString("Software\\MOLVAutomation\\Vorlask", "ConfigFile", "/plant/a.xml");
    EXPECT_TRUE(s.registryKeyOpens());
    EXPECT_EQ(s.registryConfigFile().value_or(""), "/plant/a.xml");
    ASSERT_TRUE(s.executablePath().has_value());
    EXPECT_TRUE(std::filesystem::exists(*s.executablePath()));
    ::unsetenv("MOLV_REGISTRY_ROOT");
    std::filesystem::remove_all(root);
}

TEST(DoorSocketPath, OptionThenEnvironmentThenRuntimeFolderThenTmp)
{
    ::setenv("VORLASK_SOCKET", "/env/v.sock", 1);
    ::setenv("XDG_RUNTIME_DIR", "/run/user/7", 1);
    EXPECT_EQ(resolveDoorSocketPath("/cmd.sock"), "/cmd.sock");
    EXPECT_EQ(resolveDoorSocketPath(""), "/env/v.sock");
    ::unsetenv("VORLASK_SOCKET");
    EXPECT_EQ(resolveDoorSocketPath(""), "/run/user/7/vorlask.sock");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(resolveDoorSocketPath(""), "/tmp/vorlask-" + std::to_string(::getuid()) + "/vorlask.sock");
}

} // namespace
