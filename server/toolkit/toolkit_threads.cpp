#include "server/toolkit/toolkit_threads.h"

#include <algorithm>
#include <future>

namespace {
thread_local bool tlsToolkitThread = false;
}

ToolkitThreads::ToolkitThreads(std::size_t workers)
{
    workers = std::max<std::size_t>(workers, 1);
    for (std::size_t i = 0; i < workers; ++i)
        workers_.emplace_back([this] { workerLoop(); });
    timerThread_ = std::thread([this] { timerLoop(); });
}

ToolkitThreads::~ToolkitThreads() { stop(); }

bool ToolkitThreads::onToolkitThread() { return tlsToolkitThread; }

bool ToolkitThreads::post(Task task)
{
    {
        std::lock_guard g(mutex_);
        if (stopping_)
            return false;
        tasks_.push_back(std::move(task));
    }
    workCv_.notify_one();
    return true;
}

bool ToolkitThreads::run(const Task& fn)
{
    if (onToolkitThread()) {
        fn();
        return true;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    if (!post([&] {
            try {
                fn();
                done.set_value();
            } catch (...) {
                done.set_exception(std::current_exception());
            }
        }))
        return false;
    finished.get();
    return true;
}

ToolkitThreads::TimerId ToolkitThreads::addTimer(std::uint32_t periodMs, Task fire)
{
    TimerId id;
    {
        std::lock_guard g(mutex_);
        id = nextTimer_++;
        Timer t;
        t.period = std::chrono::milliseconds(std::max(periodMs, kMinimumPeriodMs));
        t.due = std::chrono::steady_clock::now() + t.period;
        t.fire = std::move(fire);
        timers_.emplace(id, std::move(t));
    }
    timerCv_.notify_all();
    return id;
}

void ToolkitThreads::setTimerPeriod(TimerId id, std::uint32_t periodMs)
{
    {
        std::lock_guard g(mutex_);
        auto it = timers_.find(id);
        if (it == timers_.end())
            return;
        it->second.period = std::chrono::milliseconds(std::max(periodMs, kMinimumPeriodMs));
        it->second.due = std::chrono::steady_clock::now() + it->second.period;
    }
    timerCv_.notify_all();
}

void ToolkitThreads::advanceTimer(TimerId id, std::chrono::steady_clock::time_point due)
{
    {
        std::lock_guard g(mutex_);
        auto it = timers_.find(id);
        if (it == timers_.end() || due >= it->second.due)
            return;
        it->second.due = std::max(due, std::chrono::steady_clock::now());
    }
    timerCv_.notify_all();
}

void ToolkitThreads::removeTimer(TimerId id)
{
    std::lock_guard g(mutex_);
    timers_.erase(id);
}

bool ToolkitThreads::stopping() const
{
    std::lock_guard g(mutex_);
    return stopping_;
}

void ToolkitThreads::stop()
{
    std::lock_guard join(joinMutex_);
    {
        std::lock_guard g(mutex_);
        if (stopping_ && workers_.empty() && !timerThread_.joinable())
            return;
        stopping_ = true;
        timers_.clear();
    }
    timerCv_.notify_all();
    workCv_.notify_all();
    if (timerThread_.joinable())
        timerThread_.join();
    for (auto& w : workers_)
        if (w.joinable())
            w.join();
    workers_.clear();
}

void ToolkitThreads::workerLoop()
{
    tlsToolkitThread = true;
    std::unique_lock l(mutex_);
    while (true) {
        workCv_.wait(l, [&] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty()) {
            if (stopping_)
                return;
            continue;
        }
        Task t = std::move(tasks_.front());
        tasks_.pop_front();
        l.unlock();
        t();
        t = nullptr; // drop captures outside the lock
        l.lock();
    }
}

void ToolkitThreads::timerDone(TimerId id)
{
    std::lock_guard g(mutex_);
    auto it = timers_.find(id);
    if (it != timers_.end())
        it->second.running = false;
}

void ToolkitThreads::timerLoop()
{
    tlsToolkitThread = true;
    std::unique_lock l(mutex_);
    while (!stopping_) {
        auto now = std::chrono::steady_clock::now();
        auto next = now + std::chrono::seconds(1);
        for (auto& [id, t] : timers_) {
            if (t.due <= now) {
                if (!t.running) {
                    t.running = true;
                    TimerId timer = id;
                    Task fire = t.fire;
                    tasks_.push_back([this, timer, fire] {
                        fire();
                        timerDone(timer);
                    });
                    workCv_.notify_one();
                }
                // Keep the rate: the next due time follows the last one, but never lies behind.
                t.due += t.period;
                if (t.due <= now)
                    t.due = now + t.period;
            }
            next = std::min(next, t.due);
        }
        timerCv_.wait_until(l, next);
    }
}
