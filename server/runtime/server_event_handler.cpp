#include "server/runtime/server_event_handler.h"

#include "server/polling/main_window_link.h"
#include "server/toolkit/event_pool.h"

ShutdownWait shutdownWaitEvent;

void ShutdownWait::begin(SOCmnEvent* event)
{
    std::lock_guard lock(mutex_);
    event_ = event;
}

SOCmnEvent* ShutdownWait::end()
{
    std::lock_guard lock(mutex_);
    SOCmnEvent* e = event_;
    event_ = nullptr;
    return e;
}

void ShutdownWait::signal()
{
    std::lock_guard lock(mutex_);
    if (event_)
        event_->set();
}

ServerEventHandler::ServerEventHandler(bool startedByCom, MainWindowLink* mainWindow)
    : startedByCom_(startedByCom), mainWindow_(mainWindow)
{
}

void ServerEventHandler::onReleasedLastOPCObject()
{
    shutdownWaitEvent.signal();
    if (startedByCom_ && mainWindow_)
        mainWindow_->postClose();
}
