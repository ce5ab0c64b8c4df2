#include "server/runtime/signal_bridge.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &b, 1);
}

} // namespace

SignalBridge::SignalBridge(std::function<void(int)> handler, QObject* parent)
    : QObject(parent), onSignal_(std::move(handler))
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::readPipe);
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

SignalBridge::~SignalBridge()
{
    restoreDefaults();
}

void SignalBridge::restoreDefaults()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void SignalBridge::readPipe()
{
    unsigned char b = 0;
    while (::read(signalPipe[0], &b, 1) == 1) {
        if (onSignal_)
            onSignal_(b);
    }
}
