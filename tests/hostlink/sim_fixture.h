// A temporary folder with a registry root and a link path for simulators on pseudo-terminals.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/registry.h"
#include "server/hostlink/port_names.h"

struct SimFolder {
    SimFolder()
    {
        char pattern[] = "/tmp/line-sim-XXXXXX";
        root = ::mkdtemp(pattern);
        link = (root / "plc-line").string();
        ::setenv("MOLV_REGISTRY_ROOT", (root / "registry").c_str(), 1);
    }
    ~SimFolder()
    {
        ::unsetenv("MOLV_REGISTRY_ROOT");
        std::filesystem::remove_all(root);
    }
    // Points a COM name at the link through the registry, as an installer would.
    void mapPort(const std::string& name) const
    {
        Registry(root / "registry").writeString(kPortsKey, name, link);
    }
    std::filesystem::path root;
    std::string link;
};
