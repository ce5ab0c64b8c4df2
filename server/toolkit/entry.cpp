#include "server/toolkit/entry.h"

#include <filesystem>
#include <system_error>

#include "common/registry.h"
#include "server/toolkit/toolkit_internal.h"
#include "server/toolkit/toolkit_threads.h"

namespace {

constexpr const char* kCategoryDa1 = "{63D5F430-CFE4-11d1-B2C8-0060083BA1FB}";
constexpr const char* kCategoryDa2 = "{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}";
constexpr std::size_t kWorkerThreads = 4;

std::string executablePath()
{
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

// The default registration: the COM keys, written into the registry stand-in.
bool writeRegistration(RegistrationAction action, const RegisterInfo& info, const std::string& classId,
                       const std::string& vendor)
{
    if (info.progId.empty() || classId.empty())
        return false;
    Registry reg = Registry::fromEnvironment();
    const std::string classes = "SOFTWARE\\Classes\\";
    const std::string clsidKey = classes + "CLSID\\" + classId;
    const std::string categories = clsidKey + "\\Implemented Categories\\";
    bool ok = true;
    switch (action) {
    case RegistrationAction::registerServer:
        ok &= reg.writeString(classes + info.progId, "Description", info.description);
        ok &= reg.writeString(classes + info.progId, "CLSID", classId);
        ok &= reg.writeString(classes + info.progId + "\\OPC", "Vendor", vendor);
        if (!info.independentProgId.empty()) {
            ok &= reg.writeString(classes + info.independentProgId, "Description", info.description);
            ok &= reg.writeString(classes + info.independentProgId, "CLSID", classId);
            ok &= reg.writeString(classes + info.independentProgId, "CurVer", info.progId);
        }
        ok &= reg.writeString(clsidKey, "Description", info.description);
        ok &= reg.writeString(clsidKey, "ProgID", info.progId);
        ok &= reg.writeString(clsidKey, "VersionIndependentProgID", info.independentProgId);
        ok &= reg.writeString(clsidKey, "LocalServer32", executablePath());
        return ok;
    case RegistrationAction::registerCategories:
        ok &= reg.writeString(categories + kCategoryDa1, "Description", "OPC Data Access Servers Version 1.0");
        ok &= reg.writeString(categories + kCategoryDa2, "Description", "OPC Data Access Servers Version 2.0");
        return ok;
    case RegistrationAction::unregisterServer:
        ok &= reg.deleteKey(classes + info.progId);
        if (!info.independentProgId.empty())
            ok &= reg.deleteKey(classes + info.independentProgId);
        ok &= reg.deleteKey(clsidKey);
        return ok;
    case RegistrationAction::unregisterCategories:
        ok &= reg.deleteKey(categories + kCategoryDa1);
        ok &= reg.deleteKey(categories + kCategoryDa2);
        return ok;
    }
    return false;
}

} // namespace

SODaSEntry::SODaSEntry()
    : nameSpaceRoot_(makeObject<SODaSNameSpaceRoot>()), objectRoot_(makeObject<SOSrvObjectRoot>())
{
}

SODaSEntry::~SODaSEntry() = default;

SOCmnPointer<SODaSEntry> getSODaSEntry()
{
    static SODaSEntry* const entry = new SODaSEntry(); // the process's one entry
    return SOCmnPointer<SODaSEntry>::share(entry);
}

bool SODaSEntry::initialize(std::uint8_t appType, std::string classId, void* moduleInstance, std::uint32_t flags)
{
    std::lock_guard g(mutex_);
    appType_ = appType;
    classId_ = std::move(classId);
    moduleInstance_ = moduleInstance;
    initFlags_ = flags;
    return true;
}

std::uint8_t SODaSEntry::getAppType() const { std::lock_guard g(mutex_); return appType_; }
std::string SODaSEntry::getClassId() const { std::lock_guard g(mutex_); return classId_; }

void SODaSEntry::setCreator(SOCmnPointer<SODaSCreator> creator) { std::lock_guard g(mutex_); creator_ = std::move(creator); }
SOCmnPointer<SODaSCreator> SODaSEntry::getCreator() const { std::lock_guard g(mutex_); return creator_; }

void SODaSEntry::setServerSettings(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    std::lock_guard g(mutex_);
    settings_ = {a, b, c, d};
}
std::array<std::uint32_t, 4> SODaSEntry::getServerSettings() const { std::lock_guard g(mutex_); return settings_; }
void SODaSEntry::setCheckParameter(std::uint32_t value) { std::lock_guard g(mutex_); checkParameter_ = value; }
std::uint32_t SODaSEntry::getCheckParameter() const { std::lock_guard g(mutex_); return checkParameter_; }

void SODaSEntry::setRegisterInfo(std::string progId, std::string independentProgId, std::string description,
                                 std::string extra)
{
    std::lock_guard g(mutex_);
    registerInfo_ = {std::move(progId), std::move(independentProgId), std::move(description), std::move(extra)};
}
RegisterInfo SODaSEntry::getRegisterInfo() const { std::lock_guard g(mutex_); return registerInfo_; }
void SODaSEntry::setVendorInfo(std::string text) { std::lock_guard g(mutex_); vendorInfo_ = std::move(text); }
std::string SODaSEntry::getVendorInfo() const { std::lock_guard g(mutex_); return vendorInfo_; }
void SODaSEntry::setVersionInfo(std::uint16_t major, std::uint16_t minor, std::uint16_t build, std::uint8_t byteValue)
{
    std::lock_guard g(mutex_);
    versionInfo_ = {major, minor, build, byteValue};
}
VersionInfo SODaSEntry::getVersionInfo() const { std::lock_guard g(mutex_); return versionInfo_; }

void SODaSEntry::setEventHandler(SOCmnPointer<SOSrvEventHandler> handler)
{
    std::lock_guard g(mutex_);
    eventHandler_ = std::move(handler);
}
SOCmnPointer<SOSrvEventHandler> SODaSEntry::getEventHandler() const { std::lock_guard g(mutex_); return eventHandler_; }

int SODaSEntry::start()
{
    std::lock_guard g(mutex_);
    if (running_)
        return 1;
    try {
        if (!threads_)
            threads_ = std::make_shared<ToolkitThreads>(kWorkerThreads);
    } catch (const std::exception&) {
        return 0;
    }
    terminating_ = false;
    running_ = true;
    return 1;
}

bool SODaSEntry::isRunning() const { return running_.load(); }

bool SODaSEntry::runRegistration(RegistrationAction action)
{
    RegistrationHook hook;
    RegisterInfo info;
    std::string classId, vendor;
    {
        std::lock_guard g(mutex_);
        hook = registrationHook_;
        info = registerInfo_;
        classId = classId_;
        vendor = vendorInfo_;
    }
    if (hook)
        return hook(action, info, classId);
    return writeRegistration(action, info, classId, vendor);
}

bool SODaSEntry::registerServer() { return runRegistration(RegistrationAction::registerServer); }
bool SODaSEntry::registerCategories() { return runRegistration(RegistrationAction::registerCategories); }
bool SODaSEntry::unregisterServer() { return runRegistration(RegistrationAction::unregisterServer); }
bool SODaSEntry::unregisterCategories() { return runRegistration(RegistrationAction::unregisterCategories); }
void SODaSEntry::setRegistrationHook(RegistrationHook hook) { std::lock_guard g(mutex_); registrationHook_ = std::move(hook); }

std::size_t SODaSEntry::shutdownAllClients(const std::string& reason)
{
    auto servers = getObjectRoot()->getBranchList();
    auto pool = threads();
    for (auto& s : servers) {
        SOCmnPointer<SODaSServer> server = s;
        if (!pool || !pool->post([server, reason] { server->requestShutdown(reason); }))
            server->requestShutdown(reason);
    }
    return servers.size();
}

void SODaSEntry::terminate()
{
    std::shared_ptr<ToolkitThreads> pool;
    {
        std::lock_guard g(mutex_);
        terminating_ = true;
        running_ = false;
        pool = threads_;
    }
    if (pool)
        pool->stop();
    for (auto& server : getObjectRoot()->getBranchList())
        releaseServerObject(*this, *server);

    SOCmnPointer<SODaSNameSpaceRoot> oldRoot;
    SOCmnPointer<SODaSCreator> oldCreator;
    SOCmnPointer<SOSrvEventHandler> oldHandler;
    {
        std::lock_guard g(mutex_);
        oldRoot = std::move(nameSpaceRoot_);
        nameSpaceRoot_ = makeObject<SODaSNameSpaceRoot>();
        oldCreator = std::move(creator_);
        oldHandler = std::move(eventHandler_);
        threads_.reset();
        registrationHook_ = nullptr;
        appType_ = kAppTypeOutOfProcess;
        classId_.clear();
        moduleInstance_ = nullptr;
        initFlags_ = 0;
        settings_ = {};
        checkParameter_ = 0;
        registerInfo_ = {};
        vendorInfo_.clear();
        versionInfo_ = {};
    }
    if (oldRoot)
        oldRoot->clearChildren();
    // Released here, outside the entry's lock: tag destructors release their PLCs.
    oldRoot.reset();
}

SOCmnPointer<SODaSNameSpaceRoot> SODaSEntry::getNameSpaceRoot(int) const { std::lock_guard g(mutex_); return nameSpaceRoot_; }
SOCmnPointer<SOSrvObjectRoot> SODaSEntry::getObjectRoot() const { std::lock_guard g(mutex_); return objectRoot_; }
std::shared_ptr<ToolkitThreads> SODaSEntry::threads() const { std::lock_guard g(mutex_); return threads_; }

bool SODaSEntry::clientConnected(SOCmnPointer<SODaSServer> server)
{
    std::lock_guard g(mutex_);
    if (!running_)
        return false;
    std::lock_guard r(objectRoot_->mutex_);
    objectRoot_->servers_.push_back(std::move(server));
    return true;
}

void SODaSEntry::clientReleased(SODaSServer* server)
{
    bool last = false;
    SOCmnPointer<SODaSServer> dropped;
    {
        std::lock_guard r(objectRoot_->mutex_);
        auto& list = objectRoot_->servers_;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->get() == server) {
                dropped = std::move(*it);
                list.erase(it);
                last = list.empty();
                break;
            }
        }
    }
    dropped.reset();
    if (last && !terminating_.load()) {
        if (auto handler = getEventHandler())
            handler->onReleasedLastOPCObject();
    }
}
