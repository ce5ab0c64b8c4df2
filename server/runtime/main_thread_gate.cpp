#include "server/runtime/main_thread_gate.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <condition_variable>
#include <mutex>

struct MainThreadGate::Shared {
    QPointer<QObject> context;
    std::mutex mutex;
    std::condition_variable cv;
    bool closed = false;
};

namespace {

struct CallState {
    bool done = false;
};

} // namespace

MainThreadGate::MainThreadGate(QObject* context) : shared_(std::make_shared<Shared>())
{
    shared_->context = context;
}

MainThreadGate::~MainThreadGate()
{
    close();
}

bool MainThreadGate::call(std::function<void()> fn)
{
    auto shared = shared_;
    QObject* ctx = shared->context.data();
    if (!ctx || isClosed())
        return false;
    if (QThread::currentThread() == ctx->thread()) {
        fn();
        return true;
    }
    auto state = std::make_shared<CallState>();
    QMetaObject::invokeMethod(
        ctx,
        [shared, state, fn = std::move(fn)] {
            bool run;
            {
                std::lock_guard lock(shared->mutex);
                run = !shared->closed;
            }
            if (run)
                fn();
            std::lock_guard lock(shared->mutex);
            state->done = true;
            shared->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(shared->mutex);
    shared->cv.wait(lock, [&] { return state->done || shared->closed; });
    return state->done;
}

bool MainThreadGate::post(std::function<void()> fn)
{
    auto shared = shared_;
    QObject* ctx = shared->context.data();
    if (!ctx || isClosed())
        return false;
    QMetaObject::invokeMethod(
        ctx,
        [shared, fn = std::move(fn)] {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->closed)
                    return;
            }
            fn();
        },
        Qt::QueuedConnection);
    return true;
}

void MainThreadGate::close()
{
    std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    shared_->cv.notify_all();
}

bool MainThreadGate::isClosed() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->closed;
}
