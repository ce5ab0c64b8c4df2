// Synchronous calls from other threads into the main thread, in place of SendMessage: the
// caller waits until the main thread has run the call, or returns at once once the gate is
// closed (the window is gone), so that a thread being joined can never hang on it.
#pragma once

#include <functional>
#include <memory>

class QObject;

class MainThreadGate {
public:
    // context lives on the main thread; queued calls run in its event loop.
    explicit MainThreadGate(QObject* context);
    ~MainThreadGate();

    // Runs fn on the main thread and waits for it. Runs it directly when called on the main
    // thread. False (and fn not run) when the gate is closed.
    bool call(std::function<void()> fn);
    // Queues fn without waiting. False when closed.
    bool post(std::function<void()> fn);

    // From now on calls return at once; waiting callers are released.
    void close();
    bool isClosed() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
