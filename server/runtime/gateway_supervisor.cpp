#include "server/runtime/gateway_supervisor.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr std::chrono::milliseconds kFirstBackoff{1000};
constexpr std::chrono::milliseconds kMaxBackoff{30000};
// A child that ran this long was healthy: the next failure starts the back-off afresh.
constexpr std::chrono::milliseconds kHealthyRun{60000};

std::string describeStatus(int status)
{
    if (WIFEXITED(status))
        return "ended with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("was killed by signal ") + strsignal(WTERMSIG(status));
    return "ended";
}

} // namespace

GatewaySupervisor::GatewaySupervisor(std::string program, std::vector<std::string> args, Log log)
    : program_(std::move(program)), args_(std::move(args)), log_(std::move(log))
{
}

GatewaySupervisor::~GatewaySupervisor()
{
    stop();
}

std::chrono::milliseconds GatewaySupervisor::nextBackoff(std::chrono::milliseconds last, std::chrono::milliseconds ranFor)
{
    if (ranFor >= kHealthyRun || last.count() <= 0)
        return kFirstBackoff;
    return std::min(last * 2, kMaxBackoff);
}

void GatewaySupervisor::start()
{
    std::lock_guard lock(mutex_);
    if (thread_.joinable())
        return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void GatewaySupervisor::stop(std::chrono::milliseconds grace)
{
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable())
            return;
        stopping_ = true;
        if (pid_ > 0)
            ::kill(pid_, SIGTERM);
        cv_.notify_all();
    }
    // The runner reaps the child; if it does not end in time, it gets SIGKILL.
    {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, grace, [this] { return pid_ == 0; }) && pid_ > 0)
            ::kill(pid_, SIGKILL);
    }
    thread_.join();
}

pid_t GatewaySupervisor::spawn(std::string* error)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program_.c_str()));
    for (auto& a : args_)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // A pipe that closes on exec tells whether the exec worked, and its errno if not.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = std::strerror(errno);
        return 0;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls here. The child starts with default signal handling
        // and nothing blocked, whatever the server's threads have set up for themselves, and
        // ends with the server: a gateway left behind would hold its port and a broker session.
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR1, SIGUSR2, SIGCHLD})
            ::signal(s, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::execv(program_.c_str(), argv.data());
        const int e = errno;
        (void)!::write(report[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(report[1]);
    if (pid < 0) {
        *error = std::strerror(errno);
        ::close(report[0]);
        return 0;
    }
    int execError = 0;
    ssize_t n;
    while ((n = ::read(report[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n == sizeof execError) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        *error = std::strerror(execError);
        return 0;
    }
    return pid;
}

void GatewaySupervisor::run()
{
    std::chrono::milliseconds backoff{0};
    for (;;) {
        std::string why;
        const auto began = std::chrono::steady_clock::now();
        pid_t child = 0;
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            child = spawn(&why);
            pid_ = child;
        }
        if (child > 0) {
            // Wait for the end without reaping: until pid_ is cleared under the lock, the id
            // still names our child (a zombie), so stop() can never signal a process that
            // took the id over.
            siginfo_t info{};
            while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
            }
            std::lock_guard lock(mutex_);
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = 0;
            cv_.notify_all();
            if (stopping_)
                return;
            why = describeStatus(status);
        }
        const auto ranFor =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
        backoff = nextBackoff(backoff, ranFor);
        log_(program_ + " " + (child > 0 ? why : "cannot start: " + why) + "; starting it again in " +
             std::to_string(backoff.count() / 1000) + " s");
        std::unique_lock lock(mutex_);
        if (cv_.wait_for(lock, backoff, [this] { return stopping_; }))
            return;
    }
}
