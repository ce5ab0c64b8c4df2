// One door connection as one client of the toolkit: turns the door's JSON requests into calls
// of the toolkit's client side and its data changes into events (docs/door.md).
#pragma once

#include "server/door/door_server.h"
#include "server/door/door_values.h"
#include "server/toolkit/da_client.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

class DoorClientSession : public DoorSession {
public:
    // Null when the toolkit takes no clients (not started, or shut down).
    static std::unique_ptr<DoorSession> open(std::shared_ptr<DoorConnection> connection);

    nlohmann::json handle(const nlohmann::json& request, bool* closeAfter) override;
    bool runsApart(const nlohmann::json& request) const override;
    void ended() override;

private:
    explicit DoorClientSession(std::shared_ptr<DoorConnection> connection);

    // The ops, by name (door_session.cpp): adding an op is one row there and one handler here.
    struct Op;
    static const Op kOps[];
    static const Op* opOf(const nlohmann::json& request);

    nlohmann::json opStatus(const nlohmann::json& rq);
    nlohmann::json opPlcs(const nlohmann::json& rq);
    nlohmann::json opMessages(const nlohmann::json& rq);
    nlohmann::json opStats(const nlohmann::json& rq);
    nlohmann::json opBrowse(const nlohmann::json& rq);
    nlohmann::json opProps(const nlohmann::json& rq);
    nlohmann::json opAddGroup(const nlohmann::json& rq);
    nlohmann::json opRemoveGroup(const nlohmann::json& rq);
    nlohmann::json opSetGroup(const nlohmann::json& rq);
    nlohmann::json opAddItems(const nlohmann::json& rq);
    nlohmann::json opRemoveItems(const nlohmann::json& rq);
    nlohmann::json opSetItemsActive(const nlohmann::json& rq);
    nlohmann::json opRead(const nlohmann::json& rq);
    nlohmann::json opWrite(const nlohmann::json& rq);

    // Items named by ID live in a private inactive group of the connection.
    struct AdHocItem {
        ItemHandle handle = 0;
        std::uint16_t datatype = 0;
        std::uint8_t rights = 0;
        std::int32_t maxElements = -1;
    };
    ToolkitResult adHocItem(const std::string& itemId, AdHocItem* item);
    GroupHandle adHocGroup();

    std::shared_ptr<DoorConnection> connection_;
    std::unique_ptr<DaClient> client_;
    std::mutex adHocMutex_;
    GroupHandle adHocGroup_ = 0;                   // under adHocMutex_
    std::map<std::string, AdHocItem> adHocItems_; // under adHocMutex_
    // The type and bound of the handles of each client group, for writes by handle.
    struct GroupItem {
        std::uint16_t datatype = 0;
        std::int32_t maxElements = -1;
    };
    std::mutex groupsMutex_;
    std::map<GroupHandle, std::map<ItemHandle, GroupItem>> groupItems_;
};
