#include "server/config/config_loader.h"

#include <cstring>
#include <memory>
#include <new>

#include "server/config/config_document.h"
#include "server/config/config_walk.h"
#include "server/config/load_report.h"
#include "server/config/plant_builder.h"
#include "server/polling/main_window_link.h"

std::string defaultPortName = "COM1";

namespace {

constexpr const char* kCaption = "OPC OMRON Server";

void tell(MainWindowLink* ownerWindow, const std::string& text)
{
    if (ownerWindow)
        ownerWindow->messageBox(text, kCaption);
}

void tellReport(MainWindowLink* ownerWindow, const LoadReport& report, const std::string& path)
{
    if (!report.empty())
        tell(ownerWindow, report.messageText(path));
}

} // namespace

int loadConfiguration(const std::string& path, SODaSNameSpaceRoot* nameSpaceRoot,
                      MainWindowLink* ownerWindow)
{
    std::unique_ptr<ConfigDocument> document(new (std::nothrow) ConfigDocument);
    const DocumentStatus status = document ? document->load(path) : DocumentStatus::NoParser;
    if (status == DocumentStatus::NoParser) {
        tell(ownerWindow, "Can't create MSXML::DOMDocument object\n");
        return 0;
    }
    if (status != DocumentStatus::Loaded) {
        // Start-up goes on as for a configuration without PLCs.
        tell(ownerWindow, "The configuration file couldn't be read: " + path + ": " + document->error());
        return 1;
    }

    LoadReport report;
    ConfigTarget target{*document, report, plantChannel(), plantPlcList()};
    SODaSNode* root = plantRootNode(nameSpaceRoot);
    for (const pugi::xml_node& top : document->document().children()) {
        if (top.type() != pugi::node_element || std::strcmp(top.name(), "MOLVOmronHLCfg") != 0)
            continue;
        int devices = 0;
        for (const pugi::xml_node& child : top.children()) {
            if (child.type() != pugi::node_element)
                continue;
            if (std::strcmp(child.name(), "OPC_DA") == 0) {
                loadPlcs(child, root, target);
                ++devices;
            } else if (std::strcmp(child.name(), "SETTINGS") == 0) {
                loadSettings(child, target);
            }
        }
        if (devices == 0) {
            tellReport(ownerWindow, report, path);
            tell(ownerWindow, "Wrong XML file syntax: no devices element\n");
            return 0;
        }
    }
    tellReport(ownerWindow, report, path);
    return 1;
}
