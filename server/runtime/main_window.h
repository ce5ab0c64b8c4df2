// The server's main window: the last communication messages newest first, the File menu
// (Comm. Status, Log on File, Exit) and the Help menu (About).
#pragma once

#include "server/polling/main_window_link.h"
#include "server/runtime/main_thread_gate.h"

#include <QMainWindow>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;

// Menu command identifiers, as the menu resource numbers them.
inline constexpr int kCmdCommStatus = 40003;
inline constexpr int kCmdLogOnFile = 40005;
inline constexpr int kCmdExit = 40001;
inline constexpr int kCmdAbout = 40002;

// The painted status text: top edge 10 pixels down, centred horizontally, Arial 16.
class StatusTextView : public QWidget {
    Q_OBJECT
public:
    explicit StatusTextView(QWidget* parent = nullptr);
    void setStatusText(const QString& text);
    QString statusText() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QString text_;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    QAction* commandAction(int command) const;
    // Rebuilds statusText from the message ring, newest first, and repaints.
    void rebuildStatusText();
    QString statusText() const;

    // Runs a menu command as a click would.
    void runCommand(int command);

    // Tests and the demo replace the modal boxes and dialogs.
    using BoxHook = std::function<void(const QString& text, const QString& caption)>;
    void setMessageBoxHook(BoxHook hook) { boxHook_ = std::move(hook); }
    void showWarning(const QString& text, const QString& caption);

    // The status dialog currently open (null when none); the demo opens it at start.
    void openCommStatus();
    class StatusDialog* statusDialog() const { return statusDialog_; }

signals:
    void destroyedWindow();

protected:
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    void refreshLogCheck();

    StatusTextView* view_ = nullptr;
    QAction* commStatus_ = nullptr;
    QAction* logOnFile_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* about_ = nullptr;
    BoxHook boxHook_;
    class StatusDialog* statusDialog_ = nullptr;
};

// MainWindowLink for the Qt window: calls from the polling thread wait, as SendMessage does,
// until the main thread has handled them, and return at once once the window is gone.
class QtWindowLink : public MainWindowLink {
public:
    explicit QtWindowLink(MainWindow* window);
    ~QtWindowLink() override;

    void messageBox(const std::string& text, const std::string& caption) override;
    void messageRingChanged() override;
    void noPlcConfigured() override;
    void postClose() override;

    // The window is gone (or the loop ended): later calls return at once.
    void windowGone();

private:
    MainWindow* window_;
    MainThreadGate gate_;
    QMetaObject::Connection goneConnection_;
};
