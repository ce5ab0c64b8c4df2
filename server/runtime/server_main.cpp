// The server's process entry.
#include "common/registry.h"
#include "server/polling/error_log.h"
#include "server/runtime/command_line.h"
#include "server/runtime/config_discovery.h"
#include "server/door_base/door_socket_path.h"
#include "server/runtime/headless_link.h"
#include "server/runtime/main_window.h"
#include "server/runtime/server_app.h"
#include "server/runtime/server_icon.h"
#include "server/runtime/signal_bridge.h"
#include "server/runtime/status_dialog.h"
#include "server/runtime/systemd_service.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#ifndef VORLASK_VERSION
#define VORLASK_VERSION "0"
#endif

namespace {

bool displayAvailable()
{
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* v = std::getenv(var);
        if (v && *v)
            return true;
    }
    return false;
}

int runServer(ServerApp& app, MainWindowLink& link, const std::function<void()>& showWindow,
              const std::function<void()>& loopEnded)
{
    app.installEventHandler();
    std::string why;
    int code = 0;
    if (app.start(&why)) {
        notifyServiceManager("READY=1"); // the door listens
        showWindow();
        code = QCoreApplication::exec();
    } else {
        link.messageBox(why, "Vorlask");
        code = 1;
    }
    loopEnded();
    SignalBridge::restoreDefaults();
    notifyServiceManager("STOPPING=1");
    app.shutdown();
    app.terminate();
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    // The message ring's ten "\r\n" slots and index 0 are set up before main runs.

    // Every door connection and toolkit thread would otherwise get a malloc arena of its own
    // that keeps what it once held: with thousands of watched items the server's memory grew
    // by several kilobytes an item. Two arenas serve these threads without contention.
    mallopt(M_ARENA_MAX, 2);

    CommandLine cmd = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    applyEnvironment(cmd);
    if (!cmd.usageError.empty()) {
        std::cerr << "vorlask: " << cmd.usageError << "\n" << commandLineUsage();
        return 2;
    }
    if (cmd.help) {
        std::cout << commandLineUsage();
        return 0;
    }
    if (cmd.version) {
        std::cout << "vorlask " << VORLASK_VERSION << "\n";
        return 0;
    }
    // A previous-instance handle does not exist here; a second server on the same socket is
    // refused when the door opens instead.

    if (cmd.logFile)
        logToFile = true;

    ServerApp::Options options;
    options.socketPath = resolveDoorSocketPath(cmd.socketPath);
    // Started by socket activation: the first client is already waiting on the socket handed
    // over, and the server runs as one started for a client, until its last client leaves.
    if (cmd.action == SwitchAction::Run) {
        options.activatedDoorFd = takeActivatedSocket();
        if (options.activatedDoorFd >= 0)
            cmd.startedByCom = true;
    }
    options.maxClients = cmd.maxClients;
    const Registry registry = Registry::fromEnvironment();
    options.oneThreadPerLine = registry.readString(kServerRegistryKey, kLineThreadsValue) != "0";
    if (auto ms = registry.readString(kServerRegistryKey, kStatusPollMsValue); ms && !ms->empty()) {
        // Milliseconds, 0 (off) or from 100 to one day; anything else keeps the default.
        const bool digits = ms->size() <= 8 && ms->find_first_not_of("0123456789") == std::string::npos;
        const long n = digits ? std::stol(*ms) : -1;
        if (n == 0 || (n >= 100 && n <= 86400000))
            options.statusInterval = std::chrono::milliseconds(n);
        else
            std::cerr << "vorlask: StatusPollMs \"" << *ms << "\" is not 0 or 100 to 86400000; status every "
                      << options.statusInterval.count() << " ms\n";
    }
    const auto beside = [](const char* program) {
        std::error_code ec;
        return (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / program).string();
    };
    if (cmd.opcua) {
        options.gateways.push_back({beside("vorlask-opcua")});
        options.gateways.back().insert(options.gateways.back().end(), cmd.opcuaArgs.begin(), cmd.opcuaArgs.end());
    }
    if (!cmd.mqttBroker.empty()) {
        options.gateways.push_back({beside("vorlask-mqtt"), "--broker", cmd.mqttBroker});
        options.gateways.back().insert(options.gateways.back().end(), cmd.mqttArgs.begin(), cmd.mqttArgs.end());
    }
    if (cmd.web) {
        options.gateways.push_back({beside("vorlask-web")});
        options.gateways.back().insert(options.gateways.back().end(), cmd.webArgs.begin(), cmd.webArgs.end());
    }

    if (cmd.action != SwitchAction::Run) {
        // Registration needs no window: it would never be shown.
        ServerApp app(cmd, nullptr, options);
        app.giveIdentity();
        const bool ok = cmd.action == SwitchAction::RegServer ? app.registerServer() : app.unregisterServer();
        if (!ok)
            std::cerr << "vorlask: the registry could not be fully updated\n";
        app.terminate();
        return 0;
    }

    const bool headless = cmd.headless || !displayAvailable();
    if (headless) {
        QCoreApplication qapp(argc, argv);
        HeadlessLink link(std::cerr, [&qapp] {
            QMetaObject::invokeMethod(&qapp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        });
        SignalBridge signalBridge([&link](int) { link.postClose(); });
        ServerApp app(cmd, &link, options);
        app.giveIdentity();
        return runServer(app, link, [] {}, [&link] { link.loopEnded(); });
    }

    QApplication qapp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(serverIcon());
    auto window = std::make_unique<MainWindow>();
    QtWindowLink link(window.get());
    QObject::connect(window.get(), &MainWindow::destroyedWindow, &qapp, [] { QCoreApplication::exit(0); });
    SignalBridge signalBridge([&link](int) { link.postClose(); });
    ServerApp app(cmd, &link, options);
    app.giveIdentity();
    MainWindow* w = window.get();
    auto show = [w] {
        const char* open = std::getenv("VORLASK_OPEN_STATUS");
        if (open && std::string(open) == "1") {
            // The demo: the window in plain view with the status dialog open.
            w->show();
            QTimer::singleShot(300, w, [w] { w->openCommStatus(); });
            QTimer::singleShot(2500, w, [w] {
                if (auto* d = w->statusDialog())
                    d->selectFirstBlock();
            });
            return;
        }
        w->setAttribute(Qt::WA_ShowWithoutActivating);
        w->showMinimized();
    };
    const int code = runServer(app, link, show, [&link] { link.windowGone(); });
    window.reset();
    return code;
}
