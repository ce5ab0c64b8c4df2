#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/registry.h"
#include "server/hostlink/port_names.h"

namespace {

struct TempRegistry {
    TempRegistry()
    {
        char pattern[] = "/tmp/line-registry-XXXXXX";
        root = ::mkdtemp(pattern);
    }
    ~TempRegistry() { std::filesystem::remove_all(root); }
    std::filesystem::path root;
};

} // namespace

TEST(PortNames, RegistryValueWinsOverTheComNumber)
{
    TempRegistry temp;
    Registry registry(temp.root);
    ASSERT_TRUE(registry.writeString(kPortsKey, "COM3", "/dev/ttyUSB0"));
    EXPECT_EQ(resolvePortDevice("COM3", registry), "/dev/ttyUSB0");
    // Value names compare without regard to case, as in the registry.
    EXPECT_EQ(resolvePortDevice("com3", registry), "/dev/ttyUSB0");
    EXPECT_EQ(resolvePortDevice("COM4", registry), "/dev/ttyS3");
}

TEST(PortNames, HandWrittenHiveFileIsRead)
{
    TempRegistry temp;
    const auto folder = temp.root / "software/molvautomation/vorlask/ports";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "values") << "COM7=/dev/serial/by-id/usb-adapter-port0\n";
    EXPECT_EQ(resolvePortDevice("COM7", Registry(temp.root)), "/dev/serial/by-id/usb-adapter-port0");
}

TEST(PortNames, ComNumbersMapToTtySWithoutAValue)
{
    TempRegistry temp;
    Registry registry(temp.root / "absent");
    struct Row { const char* name; const char* device; };
    const Row rows[] = {
        {"COM1", "/dev/ttyS0"}, {"COM12", "/dev/ttyS11"}, {"com2", "/dev/ttyS1"},
        {"COM0", "COM0"}, {"COM", "COM"}, {"COMX", "COMX"}, {"/dev/pts/4", "/dev/pts/4"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(resolvePortDevice(r.name, registry), r.device) << r.name;
}

TEST(PortNames, EnvironmentRootIsUsed)
{
    TempRegistry temp;
    Registry(temp.root).writeString(kPortsKey, "COM5", "/tmp/some-pty");
    ::setenv("MOLV_REGISTRY_ROOT", temp.root.c_str(), 1);
    EXPECT_EQ(resolvePortDevice("COM5"), "/tmp/some-pty");
    ::unsetenv("MOLV_REGISTRY_ROOT");
}
