// Which configuration file the server loads: the executable's own path with ".xml" appended
// when that file can be read, else the registry value ConfigFile.
#pragma once

#include <functional>
#include <optional>
#include <string>

inline constexpr const char* kServerRegistryKey = "SOFTWARE\\MOLVAutomation\\Vorlask";
inline constexpr const char* kConfigFileValue = "ConfigFile";
// "0": one polling thread serves every line; anything else or none: one worker per line.
inline constexpr const char* kLineThreadsValue = "LineThreads";
inline constexpr const char* kStatusPollMsValue = "StatusPollMs";
inline constexpr const char* kMissingConfigText = "The configuration file couldn't be loaded !";
inline constexpr const char* kMissingConfigCaption = "OPC Omron HostLink Server";
// The value buffer of the registry read holds at most this many bytes, terminator included.
inline constexpr std::size_t kPathBufferSize = 260;

// What discovery decided.
struct ConfigChoice {
    bool load = false;            // call loadConfiguration with path
    std::string path;
    bool missingBox = false;      // neither file nor registry key: warn, load nothing
};

// How discovery reaches the outside world; tests replace each part.
struct DiscoverySources {
    std::function<std::optional<std::string>()> executablePath; // nullopt when unknown
    std::function<bool(const std::string&)> canRead;
    std::function<bool()> registryKeyOpens;
    std::function<std::optional<std::string>()> registryConfigFile;
};

// The executable's path with ".exe" (else ".EXE") removed once and ".xml" appended.
std::string configPathBesideExecutable(const std::string& executablePath);

ConfigChoice discoverConfiguration(const DiscoverySources& sources);

// /proc/self/exe, the registry hive of $MOLV_REGISTRY_ROOT and the file system.
DiscoverySources systemDiscoverySources();
std::optional<std::string> runningExecutablePath();
