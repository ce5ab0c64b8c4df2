#include "server/runtime/config_discovery.h"

#include "common/registry.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

std::string configPathBesideExecutable(const std::string& executablePath)
{
    std::string path = executablePath;
    // The executable has no ".exe" here; one is still removed when a build is named so, but
    // only at the end: a folder such as "/opt/my.exercise/" must stay as it is.
    auto strip = [&](const std::string& ext) {
        if (path.size() < ext.size() || path.compare(path.size() - ext.size(), ext.size(), ext) != 0)
            return false;
        path.erase(path.size() - ext.size());
        return true;
    };
    if (!strip(".exe"))
        strip(".EXE");
    return path + ".xml";
}

ConfigChoice discoverConfiguration(const DiscoverySources& sources)
{
    ConfigChoice choice;
    const auto exe = sources.executablePath();
    if (!exe) {
        choice.load = true;
        return choice;
    }
    const std::string beside = configPathBesideExecutable(*exe);
    if (sources.canRead(beside)) {
        choice.load = true;
        choice.path = beside;
        return choice;
    }
    if (!sources.registryKeyOpens()) {
        choice.missingBox = true;
        return choice;
    }
    // A missing value leaves the executable's path in the buffer; the loader then finds no
    // configuration in it and the server closes through the empty PLC list.
    std::string path = *exe;
    if (auto value = sources.registryConfigFile())
        path = value->substr(0, kPathBufferSize - 1);
    choice.load = true;
    choice.path = path;
    return choice;
}

std::optional<std::string> runningExecutablePath()
{
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::nullopt;
    return p.string();
}

DiscoverySources systemDiscoverySources()
{
    DiscoverySources s;
    s.executablePath = runningExecutablePath;
    s.canRead = [](const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return f.good() && std::filesystem::is_regular_file(path);
    };
    s.registryKeyOpens = [] { return Registry::fromEnvironment().keyExists(kServerRegistryKey); };
    s.registryConfigFile = [] {
        return Registry::fromEnvironment().readString(kServerRegistryKey, kConfigFileValue);
    };
    return s;
}
