// The toolkit's single server entry: identity, registration, start, clients, shutdown.
//
// Threads: start() brings up the toolkit's own threads (a small worker pool for client calls,
// request completions and callbacks, and one scheduler for group updates). Every client call
// and every group update runs on them, never on the caller's or the polling thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "server/toolkit/cmn_object.h"
#include "server/toolkit/group_item.h"
#include "server/toolkit/node.h"
#include "server/toolkit/server_object.h"

class ToolkitThreads;

inline constexpr std::uint8_t kAppTypeInProcess = 0;
inline constexpr std::uint8_t kAppTypeOutOfProcess = 1;

struct RegisterInfo {
    std::string progId;             // "Molv.OMRONCSeriesOPCServerDA.1.1"
    std::string independentProgId;  // "Molv.OMRONCSeriesOPCServerDA"
    std::string description;
    std::string extra;              // the fourth value, none for this server
};

struct VersionInfo {
    std::uint16_t major = 0, minor = 0, build = 0;
    std::uint8_t byteValue = 0;
};

// What registration does. registerServer/registerCategories (and their opposites) call the
// hook when one is set; without a hook they write the registry stand-in themselves (see
// entry.cpp for the keys: SOFTWARE\Classes\<ProgID>, SOFTWARE\Classes\CLSID\<class id> and its
// "Implemented Categories" sub-keys of the OPC DA 1.0 and 2.0 categories).
enum class RegistrationAction { registerServer, registerCategories, unregisterServer, unregisterCategories };
using RegistrationHook = std::function<bool(RegistrationAction, const RegisterInfo&, const std::string& classId)>;

class SODaSEntry : public SOCmnObject {
public:
    // Identity. initialize takes the application type (1 out of process), the class identifier
    // text, the module instance (kept, never used) and a flags value (0).
    bool initialize(std::uint8_t appType, std::string classId, void* moduleInstance, std::uint32_t flags);
    std::uint8_t getAppType() const;
    std::string getClassId() const;

    void setCreator(SOCmnPointer<SODaSCreator> creator);
    SOCmnPointer<SODaSCreator> getCreator() const;

    // The numeric settings: kept and readable, no further effect here.
    void setServerSettings(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d);
    std::array<std::uint32_t, 4> getServerSettings() const;
    void setCheckParameter(std::uint32_t value); // 50, or 1000 in test-tool mode
    std::uint32_t getCheckParameter() const;

    void setRegisterInfo(std::string progId, std::string independentProgId, std::string description,
                         std::string extra = {});
    RegisterInfo getRegisterInfo() const;
    void setVendorInfo(std::string text);
    std::string getVendorInfo() const;
    void setVersionInfo(std::uint16_t major, std::uint16_t minor, std::uint16_t build, std::uint8_t byteValue);
    VersionInfo getVersionInfo() const;

    void setEventHandler(SOCmnPointer<SOSrvEventHandler> handler);
    SOCmnPointer<SOSrvEventHandler> getEventHandler() const;

    // Clients can connect once start has returned nonzero.
    int start();
    bool isRunning() const;

    bool registerServer();
    bool registerCategories();
    bool unregisterServer();
    bool unregisterCategories();
    void setRegistrationHook(RegistrationHook hook);

    // Asks every connected client to disconnect, with the reason. Returns how many were asked.
    std::size_t shutdownAllClients(const std::string& reason);

    // Disconnects what is left, stops the toolkit's threads and releases the namespace, the
    // creator and the event handler. The entry can be initialised and started again afterwards
    // (tests do). Not to be called from a toolkit thread.
    void terminate();

    // The argument is the namespace kind (0: data access).
    SOCmnPointer<SODaSNameSpaceRoot> getNameSpaceRoot(int kind = 0) const;
    SOCmnPointer<SOSrvObjectRoot> getObjectRoot() const;

    // For the toolkit's own client side.
    std::shared_ptr<ToolkitThreads> threads() const;
    // False when the entry is not running.
    bool clientConnected(SOCmnPointer<SODaSServer> server);
    // Takes the server object out of the object root; the last one leaving runs the event
    // handler's notification (not while terminating).
    void clientReleased(SODaSServer* server);

private:
    friend SOCmnPointer<SODaSEntry> getSODaSEntry();
    SODaSEntry();
    ~SODaSEntry() override;
    bool runRegistration(RegistrationAction action);

    mutable std::mutex mutex_;
    std::uint8_t appType_ = kAppTypeOutOfProcess;
    std::string classId_;
    void* moduleInstance_ = nullptr;
    std::uint32_t initFlags_ = 0;
    std::array<std::uint32_t, 4> settings_{};
    std::uint32_t checkParameter_ = 0;
    RegisterInfo registerInfo_;
    std::string vendorInfo_;
    VersionInfo versionInfo_;
    RegistrationHook registrationHook_;
    SOCmnPointer<SODaSCreator> creator_;
    SOCmnPointer<SOSrvEventHandler> eventHandler_;
    SOCmnPointer<SODaSNameSpaceRoot> nameSpaceRoot_;
    SOCmnPointer<SOSrvObjectRoot> objectRoot_;
    std::shared_ptr<ToolkitThreads> threads_;
    std::atomic<bool> running_{false};
    std::atomic<bool> terminating_{false};
};

// The one entry of the process (a handle with its own reference).
SOCmnPointer<SODaSEntry> getSODaSEntry();
