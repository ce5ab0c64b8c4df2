// Told by the toolkit when the last client has gone: wakes a shutdown that waits for the
// clients, and closes a server that was started for a client.
#pragma once

#include "server/toolkit/group_item.h"

#include <mutex>

class MainWindowLink;
class SOCmnEvent;

// Set only while shutdown waits for the clients to leave; none otherwise.
class ShutdownWait {
public:
    void begin(SOCmnEvent* event);
    SOCmnEvent* end();
    // Sets the event if a shutdown is waiting.
    void signal();

private:
    std::mutex mutex_;
    SOCmnEvent* event_ = nullptr;
};

extern ShutdownWait shutdownWaitEvent;

class ServerEventHandler : public SOSrvEventHandler {
public:
    ServerEventHandler(bool startedByCom, MainWindowLink* mainWindow);

    void onReleasedLastOPCObject() override;

protected:
    ~ServerEventHandler() override = default;

private:
    const bool startedByCom_;
    MainWindowLink* const mainWindow_;
};
