// A clean server state for each loader test: channel, PLC list, name space and a window that
// records its message boxes. Summaries of what was loaded, for comparing with expectations.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "server/config/config_loader.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/polling/plc.h"
#include "server/polling/plc_list.h"
#include "server/polling/main_window_link.h"
#include "server/tags/plc_tag.h"
#include "server/toolkit/node.h"

class RecordingWindow : public MainWindowLink {
public:
    void messageBox(const std::string& text, const std::string& caption) override
    {
        boxes.emplace_back(text, caption);
    }
    void messageRingChanged() override {}
    void noPlcConfigured() override {}
    void postClose() override {}

    std::vector<std::pair<std::string, std::string>> boxes;
};

struct PortView {
    std::string name;
    std::uint32_t baudRate;
    std::int32_t parity;
    std::int32_t stopBits;
    std::int32_t dataBits;
    bool operator==(const PortView&) const = default;
};

struct PlcView {
    std::string name;
    int unit;
    std::string port;
    bool operator==(const PlcView&) const = default;
};

// Everything the loader gives one tag, with the owning PLC's name and unit.
struct TagView {
    std::uint8_t rights;
    bool bcd;
    std::uint16_t vartype;
    std::string description;
    std::uint16_t address;
    MemoryArea area;
    std::uint16_t bit;
    std::uint16_t elements;
    int ownerUnit;
    bool operator==(const TagView&) const = default;
};

void PrintTo(const PortView& p, std::ostream* os);
void PrintTo(const PlcView& p, std::ostream* os);
void PrintTo(const TagView& t, std::ostream* os);

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static std::string fixturePath(const std::string& name);
    int load(const std::string& fixture);
    int loadText(const std::string& text); // through a temporary file

    std::vector<PortView> ports() const;
    std::vector<PlcView> plcs() const;
    // Item IDs of all leaves as the name space holds them: at each node its leaves, then its
    // branches, depth first.
    std::vector<std::string> itemIds() const;
    std::vector<std::string> branchPaths() const;
    // The tag of that item ID; fails the test when there is none.
    TagView tag(const std::string& itemId) const;
    std::vector<std::string> boxTexts() const;

    SOCmnPointer<SODaSNameSpaceRoot> root;
    RecordingWindow window;
};
