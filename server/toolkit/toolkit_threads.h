// The toolkit's own threads: a small worker pool that carries client calls, asynchronous
// answers and callbacks, and one timer thread that starts the groups' updates at their rates.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

class ToolkitThreads {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;

    explicit ToolkitThreads(std::size_t workers = 4);
    ~ToolkitThreads();
    ToolkitThreads(const ToolkitThreads&) = delete;
    ToolkitThreads& operator=(const ToolkitThreads&) = delete;

    // Queues a task; false (dropped) once stopping.
    bool post(Task task);
    // Runs fn on a worker and waits for it; runs it at once when already on a toolkit thread.
    // False, without running it, once stopping.
    bool run(const Task& fn);
    static bool onToolkitThread();

    // A repeating timer: fire is posted to the pool every periodMs (at least kMinimumPeriodMs),
    // never again before the previous run of the same timer has finished.
    TimerId addTimer(std::uint32_t periodMs, Task fire);
    void setTimerPeriod(TimerId id, std::uint32_t periodMs);
    // Brings the timer's next turn forward to due (not before now); a later due changes nothing.
    void advanceTimer(TimerId id, std::chrono::steady_clock::time_point due);
    void removeTimer(TimerId id);

    // Stops the timer, lets the queued tasks run, joins every thread.
    void stop();
    bool stopping() const;

    static constexpr std::uint32_t kMinimumPeriodMs = 10;

private:
    struct Timer {
        std::chrono::milliseconds period;
        std::chrono::steady_clock::time_point due;
        Task fire;
        bool running = false;
    };

    void workerLoop();
    void timerLoop();
    void timerDone(TimerId id);

    mutable std::mutex mutex_;
    std::condition_variable workCv_;
    std::condition_variable timerCv_;
    std::deque<Task> tasks_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    std::thread timerThread_;
    std::mutex joinMutex_;
};
