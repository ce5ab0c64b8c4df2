// The client side of the toolkit: what COM carried from an OPC DA client into the server.
// Tests, the local door and the command-line client use only this.
//
// One DaClient is one client server object, counted in the object root from connect() until
// disconnect() (or destruction). Every call is carried out on a toolkit thread and returns
// when done; a device read or a write waits (up to the timeout) for the polling side to complete
// the request, or answers through a callback. Callbacks (data changes, asynchronous results)
// come on toolkit threads, one at a time per client, never after disconnect() has returned and
// never for a group after its removeGroup has returned.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/toolkit/cache.h"
#include "server/toolkit/cmn_object.h"
#include "server/toolkit/result_codes.h"
#include "server/toolkit/server_object.h"
#include "server/toolkit/variant.h"

using GroupHandle = std::uint32_t; // 0 is never a valid handle
using ItemHandle = std::uint32_t;

enum class DataSource { cache, device };

struct ItemDefinition {
    std::string itemId;
    bool active = true;
    std::uint32_t clientHandle = 0; // echoed in data changes
};

struct AddItemResult {
    ToolkitResult result = kResultOk; // OPC_E_UNKNOWNITEMID for an ID that names no leaf
    ItemHandle item = 0;
    std::uint16_t nativeDatatype = 0;
    std::uint8_t accessRights = 0;
    std::int32_t maxElements = -1; // the tag's bound for arrays and strings, -1 for none
};

struct ItemState {
    ToolkitResult result = kResultOk;
    Variant value; // VT_EMPTY when the cache holds no value yet
    std::uint16_t quality = 0;
    TimeStamp timeStamp{};
    std::string error; // text for a failed result
};

// The error text of a write the PLC has not answered by its deadline: it is still queued.
inline constexpr const char* kWriteOutcomeUnknown = "no answer yet; the write may still be carried out";

struct WriteResult {
    ToolkitResult result = kResultOk;
    bool qualityValid = false; // the polling side reported a write quality
    std::uint16_t quality = 0;
    std::string error; // e.g. "Cannot convert VT_BSTR "abc" to VT_I2: not a number"
    std::int32_t detail = 0; // what the device side gave as the cause (its own number), 0 none
};

struct DataChangeItem {
    ItemHandle item = 0;
    std::uint32_t clientHandle = 0;
    std::string itemId;
    Variant value;
    std::uint16_t quality = 0;
    TimeStamp timeStamp{};
};

struct BrowseEntry {
    std::string itemId; // full path
    std::string name;
    bool isLeaf = false;
    int depth = 0;      // 0 for the children of the root
};

struct ItemPropertyValue {
    std::uint32_t id = 0;
    std::string description; // "Item Canonical DataType", "Item Description", ...
    Variant value;
};

struct ItemProperties {
    ToolkitResult result = kResultOk;
    std::uint16_t datatype = 0;
    std::uint8_t accessRights = 0;
    std::int32_t maxElements = -1; // as in AddItemResult
    std::string description; // property 101, "" when absent
    std::vector<ItemPropertyValue> all; // 1 datatype, 2 value, 3 quality, 4 time stamp, 5 rights, 101
};

struct GroupInfo {
    std::string name;
    bool active = false;
    std::uint32_t updateRate = 0;
    std::size_t itemCount = 0;
};

using DataChangeCallback = std::function<void(GroupHandle group, const std::vector<DataChangeItem>& changes)>;
using ReadCallback = std::function<void(const std::vector<ItemState>& results)>;
using WriteCallback = std::function<void(const std::vector<WriteResult>& results)>;

inline constexpr std::chrono::milliseconds kDefaultRequestTimeout{10000};

class DaClient {
public:
    // Empty (and *result kResultNotRunning) unless the entry has been started.
    static std::unique_ptr<DaClient> connect(const std::string& clientName,
                                             SODaSServer::ShutdownRequest onShutdown = {},
                                             ToolkitResult* result = nullptr);
    ~DaClient();
    DaClient(const DaClient&) = delete;
    DaClient& operator=(const DaClient&) = delete;

    // Removes all groups (active items deactivate), leaves the object root; the last client
    // leaving runs the event handler's last-client notification. Safe to call twice.
    void disconnect();
    bool isConnected() const;

    // Group names are unique per client (OPC_E_DUPLICATENAME); "" gets a generated name.
    // Data changes of the group's active items arrive at its update rate, only for items whose
    // value or quality changed (an item that becomes active sends its current value once).
    ToolkitResult addGroup(const std::string& name, bool active, std::uint32_t updateRate,
                           DataChangeCallback onDataChange, GroupHandle* group);
    ToolkitResult removeGroup(GroupHandle group);
    ToolkitResult setGroupActive(GroupHandle group, bool active);
    // The group's rate-change notification runs before the new rate is stored.
    ToolkitResult setUpdateRate(GroupHandle group, std::uint32_t updateRate);
    ToolkitResult getGroupInfo(GroupHandle group, GroupInfo* info) const;

    std::vector<AddItemResult> addItems(GroupHandle group, const std::vector<ItemDefinition>& items);
    std::vector<ToolkitResult> removeItems(GroupHandle group, const std::vector<ItemHandle>& items);
    std::vector<ToolkitResult> setItemsActive(GroupHandle group, const std::vector<ItemHandle>& items, bool active);

    // Cache reads are answered by the toolkit; device reads go to the tag's handleRequest and
    // finish when the polling side completes them (kResultTimeout for those that did not in
    // time). requestType may pick another read kind (SODaSRequest::kRefreshRead ...).
    std::vector<ItemState> read(GroupHandle group, const std::vector<ItemHandle>& items, DataSource source,
                                std::chrono::milliseconds timeout = kDefaultRequestTimeout,
                                std::uint16_t requestType = 0);
    // The callback gets all results once every item is answered.
    ToolkitResult readAsync(GroupHandle group, const std::vector<ItemHandle>& items, DataSource source,
                            ReadCallback onDone);

    // Each value is converted to the item's native datatype first; one that cannot be converted
    // is refused (OPC_E_BADTYPE with the reason) and never reaches the tag.
    std::vector<WriteResult> write(GroupHandle group, const std::vector<ItemHandle>& items,
                                   const std::vector<Variant>& values,
                                   std::chrono::milliseconds timeout = kDefaultRequestTimeout);
    ToolkitResult writeAsync(GroupHandle group, const std::vector<ItemHandle>& items,
                             const std::vector<Variant>& values, WriteCallback onDone);

    // The whole namespace, depth first: at each node its branches (each followed by its
    // subtree) and then its leaves, all in insertion order.
    std::vector<BrowseEntry> browse() const;
    // The direct children of one branch ("" for the root): branches first, then leaves.
    std::vector<BrowseEntry> browseChildren(const std::string& branchPath, ToolkitResult* result = nullptr) const;
    ItemProperties getItemProperties(const std::string& itemId) const;

private:
    struct State;
    explicit DaClient(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};
