#include "tests/e2e/app_process.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::atomic<int> counter{0};

std::string slurp(const std::filesystem::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace

std::filesystem::path binDir()
{
    const char* b = std::getenv("VORLASK_BIN");
    return b ? b : "build/bin";
}

std::filesystem::path sourceDir()
{
    const char* s = std::getenv("VORLASK_SOURCE");
    return s ? s : ".";
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                           const std::filesystem::path& outputFolder)
{
    const int n = counter++;
    outFile_ = outputFolder / ("out-" + std::to_string(n));
    errFile_ = outputFolder / ("err-" + std::to_string(n));
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        const std::string key = kv.substr(0, kv.find('='));
        if (!env.count(key))
            envStrings.push_back(kv);
    }
    // An empty value takes the variable out of the child's environment.
    for (const auto& [k, v] : env)
        if (!v.empty())
            envStrings.push_back(k + "=" + v);
    std::vector<char*> envp, args;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& s : argCopy)
        args.push_back(s.data());
    args.push_back(nullptr);

    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // The child ends with the test, however the test ends (a CTest time-out, an interrupt).
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        const int o = ::open(outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(o, 1);
        ::dup2(e, 2);
        const int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        ::setpgid(0, 0);
        ::execve(args[0], args.data(), envp.data());
        std::perror("execve");
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int st;
        ::waitpid(pid_, &st, 0);
    }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout)
{
    if (status_)
        return status_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int st = 0;
        const pid_t r = ::waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

bool ChildProcess::running()
{
    return !wait(std::chrono::milliseconds(0)).has_value();
}

void ChildProcess::signal(int sig)
{
    if (pid_ > 0 && !status_)
        ::kill(pid_, sig);
}

std::string ChildProcess::out() const
{
    return slurp(outFile_);
}

std::string ChildProcess::err() const
{
    return slurp(errFile_);
}

RunResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                     const std::filesystem::path& outputFolder, std::chrono::milliseconds timeout)
{
    ChildProcess p(argv, env, outputFolder);
    RunResult r;
    const auto code = p.wait(timeout);
    if (!code) {
        p.signal(SIGKILL);
        p.wait(std::chrono::milliseconds(2000));
    }
    r.exitCode = code.value_or(-1);
    r.out = p.out();
    r.err = p.err();
    return r;
}

bool waitForSocket(const std::string& path, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

bool waitForSocketFile(const std::string& path, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        std::error_code ec;
        if (std::filesystem::is_socket(path, ec))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}
