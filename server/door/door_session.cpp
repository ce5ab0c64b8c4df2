#include "server/door/door_session.h"

#include "common/format_vocab.h"
#include "server/door_base/door_latin1.h"
#include "server/hostlink/hostlink_result.h"
#include "server/figures/link_figures.h"
#include "server/toolkit/entry.h"
#include "server/toolkit/quality.h"

#include <limits>

namespace {

using json = nlohmann::json;

// A write waits this long for the PLC's answer; the polling thread always answers in the end,
// so a write still unanswered then is reported as of unknown outcome.
constexpr std::chrono::seconds kDoorWriteWait{30};

// OPC_E_RANGE: the door tells a value out of the item's range from one of the wrong kind.
constexpr std::uint32_t kCodeRange = 0xC004000B;

const char kWriteRefusedInRun[] =
    "the PLC is in RUN mode and refuses writes; it must be in MONITOR mode for writes";

std::uint32_t codeOf(ToolkitResult result, const std::string& detail)
{
    if (result == kResultBadType && detail.size() >= 8 && detail.compare(detail.size() - 8, 8, "overflow") == 0)
        return kCodeRange;
    return static_cast<std::uint32_t>(result);
}

// "error" with its text and "code" with the result's number.
json errorOf(ToolkitResult result, const std::string& detail = {})
{
    return {{"error", resultText(result, detail)}, {"code", codeOf(result, detail)}};
}

json fail(const std::string& text, ToolkitResult result = kResultInvalidArg)
{
    return {{"ok", false}, {"error", text}, {"code", static_cast<std::uint32_t>(result)}};
}

json failWith(ToolkitResult result)
{
    json out = errorOf(result);
    out["ok"] = false;
    return out;
}

json okReply()
{
    return {{"ok", true}};
}

// {"ok": true, "results": [...]} with {"ok": true} or the failure for each item.
json resultsReply(const std::vector<ToolkitResult>& results)
{
    json each = json::array();
    for (auto r : results)
        each.push_back(succeeded(r) ? okReply() : failWith(r));
    json out = okReply();
    out["results"] = each;
    return out;
}

// Elements of an array value, characters of a string, 1 for other scalars.
std::size_t elementCount(const Variant& value, std::uint16_t datatype)
{
    if (value.isArray())
        return value.elements().size();
    if (datatype == vt::BSTR && value.vartype() == vt::BSTR)
        return value.str().size();
    return 1;
}

// Why a value may not be written to an item configured with maxElements elements (characters
// of a string); empty when it fits. A longer value would run over the PLC words of the items
// after it, so no client of the door may write one. A value that does not convert is left to
// the write, which refuses it as a bad type.
std::string beyondItem(const Variant& value, std::uint16_t datatype, std::int32_t maxElements)
{
    if (maxElements < 0)
        return {};
    Variant asItem;
    if (!value.changeType(datatype, &asItem))
        return {};
    const std::size_t n = elementCount(asItem, datatype);
    if (n <= static_cast<std::size_t>(maxElements))
        return {};
    const char* what = datatype == vt::BSTR ? " characters" : " elements";
    return "the value has " + std::to_string(n) + what + "; the item holds at most " + std::to_string(maxElements) +
           what + ", and nothing was written";
}

bool getGroup(const json& rq, GroupHandle* group)
{
    if (!rq.contains("group") || !rq["group"].is_number_unsigned())
        return false;
    *group = rq["group"].get<GroupHandle>();
    return *group != 0;
}

bool getHandles(const json& rq, std::vector<ItemHandle>* handles)
{
    if (!rq.contains("handles") || !rq["handles"].is_array())
        return false;
    for (const auto& h : rq["handles"]) {
        if (!h.is_number_unsigned())
            return false;
        handles->push_back(h.get<ItemHandle>());
    }
    return true;
}

json stateToJson(const ItemState& s)
{
    json out;
    if (!succeeded(s.result))
        return errorOf(s.result, s.error);
    out["value"] = variantToJson(s.value);
    out["vartype"] = s.value.vartype();
    out["type"] = datatypeWord(s.value.vartype());
    out["quality"] = s.quality;
    out["qualityText"] = quality2string(s.quality);
    out["timestamp"] = timeStampMillis(s.timeStamp);
    return out;
}

json writeToJson(const WriteResult& w)
{
    json out;
    out["ok"] = succeeded(w.result);
    if (w.result == kResultTimeout) {
        // The request stays queued and the polling thread will still carry it out: the
        // outcome is unknown, not a failure.
        out["unknown"] = true;
        out["error"] = kWriteOutcomeUnknown;
        out["code"] = static_cast<std::uint32_t>(w.result);
    } else if (!succeeded(w.result)) {
        out.update(errorOf(w.result, w.error));
        if (w.detail == kHostLinkRunMode) {
            // Said plainly: the usual cause on a C-series line, and the cure is the operator's.
            out["error"] = kWriteRefusedInRun;
            out["plcResult"] = w.detail;
        }
    }
    if (w.qualityValid)
        out["quality"] = w.quality;
    return out;
}

} // namespace

std::unique_ptr<DoorSession> DoorClientSession::open(std::shared_ptr<DoorConnection> connection)
{
    std::unique_ptr<DoorClientSession> s(new DoorClientSession(connection));
    std::weak_ptr<DoorConnection> weak = connection;
    s->client_ = DaClient::connect("door client", [weak](const std::string& reason) {
        if (auto c = weak.lock())
            c->send({{"event", "shutdown"}, {"reason", reason}});
    });
    if (!s->client_)
        return nullptr;
    return s;
}

DoorClientSession::DoorClientSession(std::shared_ptr<DoorConnection> connection)
    : connection_(std::move(connection))
{
}

// Every op of the door: its handler, and whether a request of it waits for a PLC (and so is
// answered apart, as soon as the PLC has answered) or is answered at once, in order.
struct DoorClientSession::Op {
    const char* name;
    json (DoorClientSession::*handler)(const json& rq);
    bool (*runsApart)(const json& rq);
};

namespace {

bool never(const json&) { return false; }
bool always(const json&) { return true; }
bool fromDevice(const json& rq) { return rq.contains("source") && rq["source"] == "device"; }

} // namespace

const DoorClientSession::Op DoorClientSession::kOps[] = {
    {"status", &DoorClientSession::opStatus, never},
    {"browse", &DoorClientSession::opBrowse, never},
    {"props", &DoorClientSession::opProps, never},
    {"addGroup", &DoorClientSession::opAddGroup, never},
    {"removeGroup", &DoorClientSession::opRemoveGroup, never},
    {"setGroup", &DoorClientSession::opSetGroup, never},
    {"addItems", &DoorClientSession::opAddItems, never},
    {"removeItems", &DoorClientSession::opRemoveItems, never},
    {"setItemsActive", &DoorClientSession::opSetItemsActive, never},
    {"read", &DoorClientSession::opRead, fromDevice},
    {"write", &DoorClientSession::opWrite, always},
    {"plcs", &DoorClientSession::opPlcs, never},
    {"messages", &DoorClientSession::opMessages, never},
    {"stats", &DoorClientSession::opStats, never},
};

const DoorClientSession::Op* DoorClientSession::opOf(const json& rq)
{
    const std::string name = rq["op"].get<std::string>();
    for (const Op& op : kOps)
        if (name == op.name)
            return &op;
    return nullptr;
}

bool DoorClientSession::runsApart(const json& rq) const
{
    const Op* op = opOf(rq);
    return op && op->runsApart(rq);
}

void DoorClientSession::ended()
{
    // Leaves the object root; the last client leaving runs the last-client notification.
    if (client_)
        client_->disconnect();
}

json DoorClientSession::handle(const json& rq, bool* closeAfter)
{
    const std::string op = rq["op"].get<std::string>();
    if (op == "close") {
        *closeAfter = true;
        return okReply();
    }
    if (!client_ || !client_->isConnected())
        return fail("the server is not running");
    if (const Op* known = opOf(rq))
        return (this->*known->handler)(rq);
    return fail("unknown op \"" + op + "\"");
}

json DoorClientSession::opPlcs(const json&)
{
    return plcStatusList();
}

json DoorClientSession::opMessages(const json&)
{
    return messageLines();
}

json DoorClientSession::opStats(const json& rq)
{
    if (rq.contains("reset") && !rq["reset"].is_boolean())
        return fail("\"reset\" is true or false");
    return linkFigures(rq.value("reset", false));
}

json DoorClientSession::opStatus(const json&)
{
    auto entry = getSODaSEntry();
    const auto info = entry->getRegisterInfo();
    const auto version = entry->getVersionInfo();
    json out = okReply();
    out["progId"] = info.progId;
    out["independentProgId"] = info.independentProgId;
    out["description"] = info.description;
    out["vendor"] = entry->getVendorInfo();
    out["classId"] = entry->getClassId();
    out["version"] = {version.major, version.minor, version.build};
    out["clients"] = entry->getObjectRoot() ? entry->getObjectRoot()->serverCount() : 0;
    std::size_t groups = 0;
    if (entry->getObjectRoot())
        for (const auto& server : entry->getObjectRoot()->getBranchList())
            groups += server->getGroups().size();
    out["groups"] = groups;
    return out;
}

json DoorClientSession::opBrowse(const json& rq)
{
    json out = okReply();
    if (rq.contains("branch")) {
        if (!rq["branch"].is_string())
            return fail("\"branch\" is a string");
        ToolkitResult r = kResultOk;
        const auto entries = client_->browseChildren(utf8ToLatin1(rq["branch"].get<std::string>()), &r);
        if (!succeeded(r))
            return failWith(r);
        json branches = json::array(), leaves = json::array();
        for (const auto& e : entries)
            (e.isLeaf ? leaves : branches)
                .push_back({{"name", latin1ToUtf8(e.name)}, {"item", latin1ToUtf8(e.itemId)}});
        out["branches"] = branches;
        out["leaves"] = leaves;
        return out;
    }
    if (rq.contains("details") && !rq["details"].is_boolean())
        return fail("\"details\" is true or false");
    json items = json::array();
    if (!rq.value("details", false)) {
        for (const auto& e : client_->browse())
            if (e.isLeaf)
                items.push_back(latin1ToUtf8(e.itemId));
        out["items"] = items;
        return out;
    }
    // The whole tree with what a client needs to present each item, in one reply.
    json branches = json::array();
    std::vector<std::string> parents; // the branch path at each depth
    for (const auto& e : client_->browse()) {
        parents.resize(static_cast<std::size_t>(e.depth));
        const std::string parent = parents.empty() ? std::string() : parents.back();
        if (!e.isLeaf) {
            branches.push_back({{"branch", latin1ToUtf8(e.itemId)}, {"name", latin1ToUtf8(e.name)},
                                {"parent", latin1ToUtf8(parent)}});
            parents.push_back(e.itemId);
            continue;
        }
        const auto p = client_->getItemProperties(e.itemId);
        if (!succeeded(p.result))
            continue; // gone since the browse
        json item = {{"item", latin1ToUtf8(e.itemId)}, {"name", latin1ToUtf8(e.name)}, {"parent", latin1ToUtf8(parent)},
                     {"datatype", datatypeWord(p.datatype)}, {"vartype", p.datatype},
                     {"access", std::string(accessWord(p.accessRights))}, {"rights", p.accessRights},
                     {"description", latin1ToUtf8(p.description)},
                     {"elements", p.maxElements < 0 ? 1 : p.maxElements}};
        items.push_back(std::move(item));
    }
    out["branches"] = branches;
    out["items"] = items;
    return out;
}

json DoorClientSession::opProps(const json& rq)
{
    if (!rq.contains("item") || !rq["item"].is_string())
        return fail("props needs \"item\"");
    const auto p = client_->getItemProperties(utf8ToLatin1(rq["item"].get<std::string>()));
    if (!succeeded(p.result))
        return failWith(p.result);
    json out = okReply();
    out["datatype"] = datatypeWord(p.datatype);
    out["vartype"] = p.datatype;
    out["access"] = std::string(accessWord(p.accessRights));
    out["rights"] = p.accessRights;
    out["description"] = latin1ToUtf8(p.description);
    json all = json::array();
    for (const auto& v : p.all)
        all.push_back({{"id", v.id}, {"description", v.description}, {"value", variantToJson(v.value)}});
    out["properties"] = all;
    return out;
}

json DoorClientSession::opAddGroup(const json& rq)
{
    const std::string name = rq.value("name", std::string());
    const bool active = rq.value("active", true);
    if (rq.contains("rate") && !rq["rate"].is_number_unsigned())
        return fail("\"rate\" is a number of milliseconds");
    const std::uint32_t rate = rq.value("rate", 1000u);
    std::weak_ptr<DoorConnection> weak = connection_;
    GroupHandle group = 0;
    const ToolkitResult r = client_->addGroup(
        name, active, rate,
        [weak](GroupHandle g, const std::vector<DataChangeItem>& changes) {
            auto c = weak.lock();
            if (!c)
                return;
            c->sendLine(dataChangeLine(g, changes));
        },
        &group);
    if (!succeeded(r))
        return failWith(r);
    GroupInfo info;
    client_->getGroupInfo(group, &info);
    json out = okReply();
    out["group"] = group;
    out["rate"] = info.updateRate;
    out["name"] = info.name;
    return out;
}

json DoorClientSession::opRemoveGroup(const json& rq)
{
    GroupHandle group;
    if (!getGroup(rq, &group) || group == adHocGroup())
        return fail("removeGroup needs \"group\"");
    const ToolkitResult r = client_->removeGroup(group);
    if (succeeded(r)) {
        std::lock_guard lock(groupsMutex_);
        groupItems_.erase(group);
    }
    return succeeded(r) ? okReply() : failWith(r);
}

json DoorClientSession::opSetGroup(const json& rq)
{
    GroupHandle group;
    if (!getGroup(rq, &group) || group == adHocGroup())
        return fail("setGroup needs \"group\"");
    if (rq.contains("rate")) {
        if (!rq["rate"].is_number_unsigned())
            return fail("\"rate\" is a number of milliseconds");
        const ToolkitResult r = client_->setUpdateRate(group, rq["rate"].get<std::uint32_t>());
        if (!succeeded(r))
            return failWith(r);
    }
    if (rq.contains("active")) {
        if (!rq["active"].is_boolean())
            return fail("\"active\" is true or false");
        const ToolkitResult r = client_->setGroupActive(group, rq["active"].get<bool>());
        if (!succeeded(r))
            return failWith(r);
    }
    GroupInfo info;
    const ToolkitResult r = client_->getGroupInfo(group, &info);
    if (!succeeded(r))
        return failWith(r);
    json out = okReply();
    out["rate"] = info.updateRate;
    out["active"] = info.active;
    return out;
}

json DoorClientSession::opAddItems(const json& rq)
{
    GroupHandle group;
    if (!getGroup(rq, &group) || group == adHocGroup() || !rq.contains("items") || !rq["items"].is_array())
        return fail("addItems needs \"group\" and \"items\"");
    std::vector<ItemDefinition> defs;
    for (const auto& it : rq["items"]) {
        ItemDefinition d;
        if (it.is_string()) {
            d.itemId = utf8ToLatin1(it.get<std::string>());
        } else if (it.is_object() && it.contains("item") && it["item"].is_string()) {
            d.itemId = utf8ToLatin1(it["item"].get<std::string>());
            d.active = it.value("active", true);
            d.clientHandle = it.value("clientHandle", 0u);
        } else {
            return fail("each item is an item ID or {\"item\": ID, ...}");
        }
        defs.push_back(std::move(d));
    }
    const auto results = client_->addItems(group, defs);
    json items = json::array();
    for (std::size_t i = 0; i < results.size() && i < defs.size(); ++i) {
        const auto& r = results[i];
        if (!succeeded(r.result)) {
            json failed = errorOf(r.result);
            failed["item"] = latin1ToUtf8(defs[i].itemId);
            items.push_back(failed);
            continue;
        }
        items.push_back({{"item", latin1ToUtf8(defs[i].itemId)},
                         {"handle", r.item},
                         {"datatype", datatypeWord(r.nativeDatatype)},
                         {"vartype", r.nativeDatatype},
                         {"access", std::string(accessWord(r.accessRights))}});
        std::lock_guard lock(groupsMutex_);
        groupItems_[group][r.item] = {r.nativeDatatype, r.maxElements};
    }
    json out = okReply();
    out["items"] = items;
    return out;
}

json DoorClientSession::opRemoveItems(const json& rq)
{
    GroupHandle group;
    std::vector<ItemHandle> handles;
    if (!getGroup(rq, &group) || group == adHocGroup() || !getHandles(rq, &handles))
        return fail("removeItems needs \"group\" and \"handles\"");
    const auto results = client_->removeItems(group, handles);
    {
        std::lock_guard lock(groupsMutex_);
        if (auto types = groupItems_.find(group); types != groupItems_.end())
            for (std::size_t i = 0; i < results.size() && i < handles.size(); ++i)
                if (succeeded(results[i]))
                    types->second.erase(handles[i]);
    }
    return resultsReply(results);
}

json DoorClientSession::opSetItemsActive(const json& rq)
{
    GroupHandle group;
    std::vector<ItemHandle> handles;
    if (!getGroup(rq, &group) || group == adHocGroup() || !getHandles(rq, &handles) || !rq.contains("active") ||
        !rq["active"].is_boolean())
        return fail("setItemsActive needs \"group\", \"handles\" and \"active\"");
    return resultsReply(client_->setItemsActive(group, handles, rq["active"].get<bool>()));
}

ToolkitResult DoorClientSession::adHocItem(const std::string& itemId, AdHocItem* item)
{
    // Device reads and writes by ID run side by side; they share the group and its items.
    std::lock_guard lock(adHocMutex_);
    if (auto it = adHocItems_.find(itemId); it != adHocItems_.end()) {
        *item = it->second;
        return kResultOk;
    }
    if (!adHocGroup_) {
        // Inactive, so items read by ID are never scanned on their own account.
        const ToolkitResult r = client_->addGroup("", false, 0, {}, &adHocGroup_);
        if (!succeeded(r))
            return r;
    }
    const auto results = client_->addItems(adHocGroup_, {ItemDefinition{itemId, false, 0}});
    if (results.empty() || !succeeded(results[0].result))
        return results.empty() ? kResultFail : results[0].result;
    AdHocItem a{results[0].item, results[0].nativeDatatype, results[0].accessRights, results[0].maxElements};
    adHocItems_[itemId] = a;
    *item = a;
    return kResultOk;
}

GroupHandle DoorClientSession::adHocGroup()
{
    std::lock_guard lock(adHocMutex_);
    return adHocGroup_;
}

json DoorClientSession::opRead(const json& rq)
{
    const std::string source = rq.value("source", std::string("cache"));
    if (source != "cache" && source != "device")
        return fail("\"source\" is \"cache\" or \"device\"");
    const DataSource ds = source == "device" ? DataSource::device : DataSource::cache;
    json values = json::array();

    if (rq.contains("group")) {
        GroupHandle group;
        std::vector<ItemHandle> handles;
        if (!getGroup(rq, &group) || !getHandles(rq, &handles))
            return fail("read needs \"group\" and \"handles\", or \"items\"");
        const auto states = client_->read(group, handles, ds);
        for (std::size_t i = 0; i < states.size(); ++i) {
            json v = stateToJson(states[i]);
            v["handle"] = i < handles.size() ? handles[i] : 0;
            values.push_back(v);
        }
    } else {
        if (!rq.contains("items") || !rq["items"].is_array())
            return fail("read needs \"items\"");
        // Items that exist are read together, so that one device read serves them all.
        std::vector<std::string> ids;
        std::vector<ItemHandle> handles;
        std::vector<json> slots;
        for (const auto& id : rq["items"]) {
            if (!id.is_string())
                return fail("\"items\" holds item IDs");
            AdHocItem item;
            json slot = {{"item", id}};
            if (const ToolkitResult r = adHocItem(utf8ToLatin1(id.get<std::string>()), &item); !succeeded(r)) {
                slot.update(errorOf(r));
            } else {
                slot["handle"] = item.handle;
                handles.push_back(item.handle);
            }
            slots.push_back(slot);
        }
        std::vector<ItemState> states;
        if (!handles.empty())
            states = client_->read(adHocGroup(), handles, ds);
        std::size_t k = 0;
        for (auto& slot : slots) {
            if (!slot.contains("error")) {
                json v = k < states.size() ? stateToJson(states[k]) : errorOf(kResultFail, "no answer");
                ++k;
                slot.erase("handle");
                slot.update(v);
            }
            values.push_back(slot);
        }
    }
    json out = okReply();
    out["values"] = values;
    return out;
}

json DoorClientSession::opWrite(const json& rq)
{
    json results = json::array();
    if (rq.contains("group")) {
        GroupHandle group;
        std::vector<ItemHandle> handles;
        if (!getGroup(rq, &group) || !getHandles(rq, &handles) || !rq.contains("values") ||
            !rq["values"].is_array() || rq["values"].size() != handles.size())
            return fail("write needs \"group\", \"handles\" and as many \"values\"");
        std::vector<Variant> values;
        std::map<ItemHandle, GroupItem> known;
        {
            std::lock_guard lock(groupsMutex_);
            if (auto g = groupItems_.find(group); g != groupItems_.end())
                known = g->second;
        }
        for (std::size_t i = 0; i < handles.size(); ++i) {
            Variant v;
            std::string why;
            const GroupItem item = known.count(handles[i]) ? known[handles[i]] : GroupItem{vt::EMPTY, -1};
            if (!jsonToVariant(rq["values"][i], static_cast<std::uint16_t>(item.datatype & ~vt::ARRAY), &v, &why))
                return fail("value " + std::to_string(i) + ": " + why);
            // Nothing of the request is written when one value would overrun its item.
            if (const std::string beyond = beyondItem(v, item.datatype, item.maxElements); !beyond.empty())
                return fail("value " + std::to_string(i) + ": " + beyond, static_cast<ToolkitResult>(kCodeRange));
            values.push_back(std::move(v));
        }
        for (const auto& w : client_->write(group, handles, values, kDoorWriteWait))
            results.push_back(writeToJson(w));
    } else {
        if (!rq.contains("items") || !rq["items"].is_array())
            return fail("write needs \"items\": [{\"item\": ID, \"value\": V}, ...]");
        std::vector<ItemHandle> handles;
        std::vector<Variant> values;
        std::vector<json> slots;
        for (const auto& it : rq["items"]) {
            if (!it.is_object() || !it.contains("item") || !it["item"].is_string() || !it.contains("value"))
                return fail("each write is {\"item\": ID, \"value\": V}");
            json slot = {{"item", it["item"]}};
            AdHocItem item;
            std::string why;
            Variant v;
            if (const ToolkitResult r = adHocItem(utf8ToLatin1(it["item"].get<std::string>()), &item); !succeeded(r)) {
                slot["ok"] = false;
                slot.update(errorOf(r));
            } else if (!jsonToVariant(it["value"], static_cast<std::uint16_t>(item.datatype & ~vt::ARRAY), &v, &why)) {
                slot["ok"] = false;
                slot["error"] = "bad value: " + why;
                slot["code"] = static_cast<std::uint32_t>(kResultBadType);
            } else if (const std::string beyond = beyondItem(v, item.datatype, item.maxElements); !beyond.empty()) {
                slot["ok"] = false;
                slot["error"] = beyond;
                slot["code"] = kCodeRange;
            } else {
                handles.push_back(item.handle);
                values.push_back(std::move(v));
            }
            slots.push_back(slot);
        }
        std::vector<WriteResult> written;
        if (!handles.empty())
            written = client_->write(adHocGroup(), handles, values, kDoorWriteWait);
        std::size_t k = 0;
        for (auto& slot : slots) {
            if (!slot.contains("ok")) {
                slot.update(k < written.size() ? writeToJson(written[k]) : failWith(kResultFail));
                ++k;
            }
            results.push_back(slot);
        }
    }
    json out = okReply();
    out["results"] = results;
    return out;
}
