// SIGINT and SIGTERM into the main loop: the handler only writes a byte into a pipe, and the
// main thread reads it and runs the normal close.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~SignalBridge() override;
    // Back to the default handling: once shutdown runs, another Ctrl-C ends the process.
    static void restoreDefaults();

private:
    void readPipe();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};
