#include "server/toolkit/da_client.h"

#include "server/toolkit/da_client_state.h"

namespace {

using Clock = std::chrono::steady_clock;

SOCmnPointer<SODaSCreator> creatorOf(const SODaSEntry& entry)
{
    if (auto c = entry.getCreator())
        return c;
    return makeObject<SODaSCreator>();
}

std::string failureText(ToolkitResult r, const char* what)
{
    return std::string(what) + " (" + resultName(r) + ")";
}

// Fills a read answer from the tag's cache once its request (if any) has been completed.
void answerRead(ItemState& out, SODaSTag& tag, const SODaSRequest* request)
{
    auto cache = tag.getCache();
    CacheSnapshot snap = cache ? cache->snapshot() : CacheSnapshot{};
    out.value = snap.value;
    out.quality = snap.quality;
    out.timeStamp = snap.timeStamp;
    if (request) {
        out.result = request->getResult();
        if (request->isQualityValid())
            out.quality = request->getQuality();
        if (!succeeded(out.result))
            out.error = failureText(out.result, "The device read failed");
    }
}

void answerWrite(WriteResult& out, const SODaSRequest& request)
{
    out.result = request.getResult();
    out.qualityValid = request.isQualityValid();
    out.quality = request.getQuality();
    out.detail = request.getDetail();
    if (!succeeded(out.result))
        out.error = failureText(out.result, "The write failed");
}

template <class Result>
void fillError(Result& out, ToolkitResult r, const std::string& text)
{
    out.result = r;
    out.error = text;
}

template <class Result>
void failAll(std::vector<Result>& results, ToolkitResult r, const char* what)
{
    for (auto& out : results)
        fillError(out, r, failureText(r, what));
}

// The tag of an item of the group that grants access (readable or writable); null when there
// is none, with out saying why.
template <class Result>
SOCmnPointer<SODaSTag> tagFor(SODaSGroupDefault& group, ItemHandle handle, std::uint32_t access, Result& out)
{
    auto item = ToolkitGroupAccess::findItem(group, handle);
    if (!item) {
        fillError(out, kResultInvalidHandle, "Unknown item handle");
        return {};
    }
    auto tag = item->getItemTag();
    if (!(tag->getAccessRights() & access)) {
        fillError(out, kResultBadRights, access == kAccessReadable ? "The item is not readable" : "The item is not writable");
        return {};
    }
    return tag;
}

// A device read goes to the tag when it handles requests; otherwise it is answered from the
// cache at once.
void dispatchRead(SODaSTag& tag, SODaSRequest& req)
{
    if (tag.getDeviceIOMode() == kDeviceIOHandleRequest)
        tag.handleRequest(&req);
    else
        req.complete(kResultOk);
}

// Waits for the requests (skipping null ones) until timeout from now: done(i) for each that
// completed, late(i) for each that did not.
template <class Done, class Late>
void waitAll(const std::vector<SOCmnPointer<SODaSRequest>>& requests, std::chrono::milliseconds timeout, Done done,
             Late late)
{
    const auto deadline = Clock::now() + timeout;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (!requests[i])
            continue;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (requests[i]->waitCompleted(std::max(left, std::chrono::milliseconds(0))))
            done(i);
        else
            late(i);
    }
}

} // namespace

DaClient::DaClient(std::shared_ptr<State> state) : state_(std::move(state)) {}

DaClient::~DaClient() { disconnect(); }

std::unique_ptr<DaClient> DaClient::connect(const std::string& clientName, SODaSServer::ShutdownRequest onShutdown,
                                            ToolkitResult* result)
{
    auto entry = getSODaSEntry();
    auto threads = entry->threads();
    auto fail = [&](ToolkitResult r) {
        if (result)
            *result = r;
        return std::unique_ptr<DaClient>();
    };
    if (!entry->isRunning() || !threads)
        return fail(kResultNotRunning);
    auto state = std::make_shared<State>();
    state->entry = entry;
    state->threads = threads;
    bool connected = false;
    try {
        bool ran = threads->run([&] {
            state->server = makeObject<SODaSServer>(clientName, std::move(onShutdown));
            connected = entry->clientConnected(state->server);
        });
        if (!ran || !connected)
            return fail(kResultNotRunning);
    } catch (const SOCmnException&) {
        return fail(kResultOutOfMemory);
    }
    if (result)
        *result = kResultOk;
    return std::unique_ptr<DaClient>(new DaClient(std::move(state)));
}

void DaClient::disconnect()
{
    State& st = *state_;
    if (!st.connected.exchange(false))
        return;
    std::map<GroupHandle, std::shared_ptr<State::GroupRec>> groups;
    {
        std::lock_guard g(st.mutex);
        groups.swap(st.groups);
    }
    for (auto& [h, rec] : groups) {
        ToolkitGroupAccess::setChangeWake(*rec->group, {});
        st.runTimer(rec, false);
    }
    {
        std::lock_guard g(st.gate);
        st.gateOpen = false;
    }
    auto release = [&] { releaseServerObject(*st.entry, *st.server); };
    if (!st.threads->run(release))
        release(); // the toolkit is stopping: do it here, it is idempotent
}

bool DaClient::isConnected() const { return state_->alive(); }

ToolkitResult DaClient::addGroup(const std::string& name, bool active, std::uint32_t updateRate,
                                 DataChangeCallback onDataChange, GroupHandle* group)
{
    State& st = *state_;
    return st.call([&]() -> ToolkitResult {
        std::string groupName = name;
        if (groupName.empty()) {
            do
                groupName = "Group" + std::to_string(++st.generatedNames);
            while (ToolkitGroupAccess::groupNameTaken(*st.server, groupName));
        } else if (ToolkitGroupAccess::groupNameTaken(*st.server, groupName)) {
            return kResultDuplicateName;
        }
        SOCmnPointer<SODaSGroupDefault> grp = creatorOf(*st.entry)->createGroup(groupName);
        if (!grp)
            return kResultFail;
        std::uint32_t handle = ToolkitGroupAccess::nextGroupHandle(*st.server);
        ToolkitGroupAccess::initGroup(*grp, *st.server, handle, groupName, active, updateRate);
        ToolkitGroupAccess::addGroup(*st.server, grp);
        auto rec = std::make_shared<State::GroupRec>();
        rec->group = grp;
        rec->onDataChange = std::move(onDataChange);
        {
            std::lock_guard g(st.mutex);
            st.groups[handle] = rec;
        }
        st.wakeOnChange(rec);
        st.runTimer(rec, active);
        if (group)
            *group = handle;
        return kResultOk;
    });
}

ToolkitResult DaClient::removeGroup(GroupHandle group)
{
    State& st = *state_;
    return st.call([&]() -> ToolkitResult {
        std::shared_ptr<State::GroupRec> rec;
        {
            std::lock_guard g(st.mutex);
            auto it = st.groups.find(group);
            if (it == st.groups.end())
                return kResultInvalidHandle;
            rec = it->second;
            st.groups.erase(it);
        }
        st.removeGroupRec(rec);
        ToolkitGroupAccess::takeGroup(*st.server, group);
        return kResultOk;
    });
}

ToolkitResult DaClient::setGroupActive(GroupHandle group, bool active)
{
    State& st = *state_;
    return st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        ToolkitGroupAccess::setGroupActive(*rec->group, active);
        st.runTimer(rec, active);
        return kResultOk;
    });
}

ToolkitResult DaClient::setUpdateRate(GroupHandle group, std::uint32_t updateRate)
{
    State& st = *state_;
    return st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        ToolkitGroupAccess::setUpdateRate(*rec->group, updateRate);
        st.runTimer(rec, rec->group->getActive());
        return kResultOk;
    });
}

ToolkitResult DaClient::getGroupInfo(GroupHandle group, GroupInfo* info) const
{
    State& st = *state_;
    return st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        if (info) {
            info->name = rec->group->getName();
            info->active = rec->group->getActive();
            info->updateRate = rec->group->getUpdateRate();
            info->itemCount = rec->group->getLeafList().size();
        }
        return kResultOk;
    });
}

std::vector<AddItemResult> DaClient::addItems(GroupHandle group, const std::vector<ItemDefinition>& items)
{
    State& st = *state_;
    std::vector<AddItemResult> results(items.size());
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        auto root = st.entry->getNameSpaceRoot();
        auto creator = creatorOf(*st.entry);
        for (std::size_t i = 0; i < items.size(); ++i) {
            AddItemResult& out = results[i];
            if (items[i].itemId.empty()) {
                out.result = kResultInvalidItemId;
                continue;
            }
            SOCmnPointer<SODaSTag> tag = root->findItem(items[i].itemId);
            if (!tag) {
                out.result = kResultUnknownItemId;
                continue;
            }
            SOCmnPointer<SODaSItemDefault> item = creator->createItem(*rec->group, *tag);
            if (!item) {
                out.result = kResultFail;
                continue;
            }
            std::lock_guard<std::recursive_mutex> groupLock(ToolkitGroupAccess::groupMutex(*rec->group));
            ItemHandle handle = ToolkitGroupAccess::addItem(*rec->group, *item, tag, items[i].itemId);
            {
                std::lock_guard g(st.mutex);
                rec->clientHandles[handle] = items[i].clientHandle;
            }
            if (items[i].active)
                ToolkitGroupAccess::setItemActive(*item, true);
            out.item = handle;
            out.nativeDatatype = tag->getNativeDatatype();
            out.accessRights = tag->getAccessRights();
            out.maxElements = tag->getMaxElements();
        }
        return kResultOk;
    });
    if (r != kResultOk)
        for (auto& out : results)
            out.result = r;
    return results;
}

std::vector<ToolkitResult> DaClient::removeItems(GroupHandle group, const std::vector<ItemHandle>& items)
{
    State& st = *state_;
    std::vector<ToolkitResult> results(items.size(), kResultOk);
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!ToolkitGroupAccess::removeItem(*rec->group, items[i])) {
                results[i] = kResultInvalidHandle;
                continue;
            }
            std::lock_guard g(st.mutex);
            rec->clientHandles.erase(items[i]);
        }
        return kResultOk;
    });
    if (r != kResultOk)
        results.assign(items.size(), r);
    return results;
}

std::vector<ToolkitResult> DaClient::setItemsActive(GroupHandle group, const std::vector<ItemHandle>& items, bool active)
{
    State& st = *state_;
    std::vector<ToolkitResult> results(items.size(), kResultOk);
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        for (std::size_t i = 0; i < items.size(); ++i) {
            auto item = ToolkitGroupAccess::findItem(*rec->group, items[i]);
            if (!item) {
                results[i] = kResultInvalidHandle;
                continue;
            }
            ToolkitGroupAccess::setItemActive(*item, active);
        }
        return kResultOk;
    });
    if (r != kResultOk)
        results.assign(items.size(), r);
    return results;
}

namespace {

// Collects the answers of one asynchronous call and hands them over once all are in.
template <class Result>
struct AsyncCall {
    using Done = std::function<void(const std::vector<Result>&)>;

    AsyncCall(std::size_t count, Done done)
        : results(count), remaining(count + 1), onDone(std::move(done)) // one more for the call itself
    {
    }

    std::vector<Result> results;
    std::atomic<std::size_t> remaining;
    Done onDone;
};

} // namespace

std::vector<ItemState> DaClient::read(GroupHandle group, const std::vector<ItemHandle>& items, DataSource source,
                                      std::chrono::milliseconds timeout, std::uint16_t requestType)
{
    State& st = *state_;
    std::vector<ItemState> results(items.size());
    std::vector<SOCmnPointer<SODaSRequest>> requests(items.size());
    std::vector<SOCmnPointer<SODaSTag>> tags(items.size());
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        for (std::size_t i = 0; i < items.size(); ++i) {
            auto tag = tagFor(*rec->group, items[i], kAccessReadable, results[i]);
            if (!tag)
                continue;
            tags[i] = tag;
            if (source == DataSource::cache) {
                answerRead(results[i], *tag, nullptr);
                continue;
            }
            requests[i] = makeObject<SODaSRequest>(SODaSRequest::read,
                                                   requestType ? requestType : SODaSRequest::kSyncDeviceRead, tag);
            dispatchRead(*tag, *requests[i]);
        }
        return kResultOk;
    });
    if (r != kResultOk) {
        failAll(results, r, "The read was not carried out");
        return results;
    }
    waitAll(
        requests, timeout, [&](std::size_t i) { answerRead(results[i], *tags[i], requests[i].get()); },
        [&](std::size_t i) { fillError(results[i], kResultTimeout, "The device read did not complete in time"); });
    return results;
}

ToolkitResult DaClient::readAsync(GroupHandle group, const std::vector<ItemHandle>& items, DataSource source,
                                  ReadCallback onDone)
{
    State& st = *state_;
    auto op = std::make_shared<AsyncCall<ItemState>>(items.size(), std::move(onDone));
    auto finishOne = st.finisher(op);
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        for (std::size_t i = 0; i < items.size(); ++i) {
            SOCmnPointer<SODaSTag> tag = tagFor(*rec->group, items[i], kAccessReadable, op->results[i]);
            if (!tag || source == DataSource::cache) {
                if (tag)
                    answerRead(op->results[i], *tag, nullptr);
                finishOne();
                continue;
            }
            SODaSTag* rawTag = tag.get();
            auto req = makeObject<SODaSRequest>(SODaSRequest::read, SODaSRequest::kAsyncDeviceRead, tag, Variant(),
                                                [op, i, rawTag, finishOne](SODaSRequest& done) {
                                                    answerRead(op->results[i], *rawTag, &done);
                                                    finishOne();
                                                });
            dispatchRead(*tag, *req);
        }
        return kResultOk;
    });
    if (r != kResultOk)
        return r; // nothing was sent; the callback does not come
    finishOne();
    return kResultOk;
}

namespace {

// Checks and converts one value; a request only for values the tag can take.
SOCmnPointer<SODaSRequest> prepareWrite(SODaSGroupDefault& group, ItemHandle handle, const Variant& value,
                                        std::uint16_t type, WriteResult& out, SODaSRequest::CompletionHook hook)
{
    auto tag = tagFor(group, handle, kAccessWritable, out);
    if (!tag)
        return {};
    if (value.isEmpty()) {
        fillError(out, kResultBadType, "No value to write");
        return {};
    }
    Variant converted;
    std::string why;
    if (!value.changeType(tag->getNativeDatatype(), &converted, &why)) {
        fillError(out, kResultBadType, why);
        return {};
    }
    return makeObject<SODaSRequest>(SODaSRequest::write, type, tag, std::move(converted), std::move(hook));
}

void dispatchWrite(SODaSRequest& req)
{
    auto tag = req.getItemTag();
    if (tag->getDeviceIOMode() == kDeviceIOHandleRequest)
        tag->handleRequest(&req);
    else
        tag->SODaSTag::handleRequest(&req);
}

} // namespace

std::vector<WriteResult> DaClient::write(GroupHandle group, const std::vector<ItemHandle>& items,
                                         const std::vector<Variant>& values, std::chrono::milliseconds timeout)
{
    State& st = *state_;
    std::vector<WriteResult> results(items.size());
    std::vector<SOCmnPointer<SODaSRequest>> requests(items.size());
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        if (values.size() != items.size())
            return kResultInvalidArg;
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        for (std::size_t i = 0; i < items.size(); ++i) {
            requests[i] = prepareWrite(*rec->group, items[i], values[i], SODaSRequest::kSyncWrite, results[i], {});
            if (requests[i])
                dispatchWrite(*requests[i]);
        }
        return kResultOk;
    });
    if (r != kResultOk) {
        failAll(results, r, "The write was not carried out");
        return results;
    }
    waitAll(
        requests, timeout, [&](std::size_t i) { answerWrite(results[i], *requests[i]); },
        [&](std::size_t i) { fillError(results[i], kResultTimeout, kWriteOutcomeUnknown); });
    return results;
}

ToolkitResult DaClient::writeAsync(GroupHandle group, const std::vector<ItemHandle>& items,
                                   const std::vector<Variant>& values, WriteCallback onDone)
{
    State& st = *state_;
    if (values.size() != items.size())
        return kResultInvalidArg;
    auto op = std::make_shared<AsyncCall<WriteResult>>(items.size(), std::move(onDone));
    auto finishOne = st.finisher(op);
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        auto rec = st.groupRec(group);
        if (!rec)
            return kResultInvalidHandle;
        for (std::size_t i = 0; i < items.size(); ++i) {
            auto req = prepareWrite(*rec->group, items[i], values[i], SODaSRequest::kAsyncWrite, op->results[i],
                                    [op, i, finishOne](SODaSRequest& done) {
                                        answerWrite(op->results[i], done);
                                        finishOne();
                                    });
            if (!req) {
                finishOne();
                continue;
            }
            dispatchWrite(*req);
        }
        return kResultOk;
    });
    if (r != kResultOk)
        return r;
    finishOne();
    return kResultOk;
}

namespace {

void browseNode(const SODaSNode& node, const std::string& prefix, char delimiter, int depth,
                std::vector<BrowseEntry>& out, bool recursive)
{
    for (const auto& b : node.getBranchList()) {
        BrowseEntry e;
        e.name = b->getName();
        e.itemId = prefix.empty() ? e.name : prefix + delimiter + e.name;
        e.isLeaf = false;
        e.depth = depth;
        std::string id = e.itemId;
        out.push_back(std::move(e));
        if (recursive)
            browseNode(*b, id, delimiter, depth + 1, out, true);
    }
    for (const auto& l : node.getLeafList()) {
        BrowseEntry e;
        e.name = l->getName();
        e.itemId = prefix.empty() ? e.name : prefix + delimiter + e.name;
        e.isLeaf = true;
        e.depth = depth;
        out.push_back(std::move(e));
    }
}

} // namespace

std::vector<BrowseEntry> DaClient::browse() const
{
    State& st = *state_;
    std::vector<BrowseEntry> out;
    st.call([&]() -> ToolkitResult {
        auto root = st.entry->getNameSpaceRoot();
        browseNode(*root, "", root->getTreeDelimiter(nullptr, nullptr), 0, out, true);
        return kResultOk;
    });
    return out;
}

std::vector<BrowseEntry> DaClient::browseChildren(const std::string& branchPath, ToolkitResult* result) const
{
    State& st = *state_;
    std::vector<BrowseEntry> out;
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        auto root = st.entry->getNameSpaceRoot();
        auto node = root->findNode(branchPath);
        if (!node)
            return kResultInvalidItemId;
        const char delimiter = root->getTreeDelimiter(nullptr, nullptr);
        // The children's IDs start from the node's own path as the namespace spells it.
        std::string prefix = node.get() == root.get() ? std::string() : node->getItemID();
        int depth = 0;
        for (char c : prefix)
            depth += c == delimiter;
        browseNode(*node, prefix, delimiter, prefix.empty() ? 0 : depth + 1, out, false);
        return kResultOk;
    });
    if (result)
        *result = r;
    return out;
}

ItemProperties DaClient::getItemProperties(const std::string& itemId) const
{
    State& st = *state_;
    ItemProperties props;
    ToolkitResult r = st.call([&]() -> ToolkitResult {
        auto tag = st.entry->getNameSpaceRoot()->findItem(itemId);
        if (!tag)
            return kResultUnknownItemId;
        props.datatype = tag->getNativeDatatype();
        props.accessRights = tag->getAccessRights();
        props.maxElements = tag->getMaxElements();
        if (auto d = tag->getProperty(kPropertyDescription))
            props.description = d->getConstantValue().toString();
        auto cache = tag->getCache();
        CacheSnapshot snap = cache ? cache->snapshot() : CacheSnapshot{};
        auto seconds = std::chrono::duration<double>(snap.timeStamp.time_since_epoch()).count();
        props.all = {
            {kPropertyDatatype, "Item Canonical DataType", Variant::fromI2(static_cast<std::int16_t>(props.datatype))},
            {kPropertyValue, "Item Value", snap.value},
            {kPropertyQuality, "Item Quality", Variant::fromI2(static_cast<std::int16_t>(snap.quality))},
            {kPropertyTimeStamp, "Item Timestamp", Variant::fromR8(seconds)},
            {kPropertyAccessRights, "Item Access Rights", Variant::fromI4(props.accessRights)},
            {kPropertyDescription, "Item Description", Variant::fromString(props.description)},
        };
        return kResultOk;
    });
    props.result = r;
    return props;
}
