#include "server/runtime/main_window.h"

#include "server/polling/error_log.h"
#include "server/polling/message_ring.h"
#include "server/runtime/about_box.h"
#include "server/runtime/server_texts.h"
#include "server/runtime/status_dialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>

StatusTextView::StatusTextView(QWidget* parent) : QWidget(parent)
{
    QFont font("Arial");
    font.setPixelSize(16);
    setFont(font);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

void StatusTextView::setStatusText(const QString& text)
{
    text_ = text;
    update();
}

void StatusTextView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    QRect r = rect();
    r.setTop(r.top() + 10);
    QString shown = text_;
    shown.replace("\r\n", "\n");
    p.drawText(r, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, shown);
}

void StatusTextView::mousePressEvent(QMouseEvent* e)
{
    // Right and middle presses do nothing.
    e->accept();
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    // The window's class name ("MolvOPCServer") is its object name, so that tools find the
    // window by it; redraw on resize, the arrow cursor and the window colour are a Qt main
    // window's defaults, and the menu is built below.
    setObjectName(kMainWindowClassName);
    setWindowTitle(kMainWindowTitle);
    resize(kMainWindowWidth, kMainWindowHeight);
    setAttribute(Qt::WA_DeleteOnClose, false);

    view_ = new StatusTextView(this);
    setCentralWidget(view_);

    QMenu* file = menuBar()->addMenu("&File");
    commStatus_ = file->addAction("Comm. Status ...");
    commStatus_->setData(kCmdCommStatus);
    logOnFile_ = file->addAction("Log on File");
    logOnFile_->setData(kCmdLogOnFile);
    logOnFile_->setCheckable(true);
    file->addSeparator();
    exit_ = file->addAction("E&xit");
    exit_->setData(kCmdExit);
    QMenu* help = menuBar()->addMenu("&Help");
    about_ = help->addAction("&About ...");
    about_->setData(kCmdAbout);

    for (QAction* a : {commStatus_, logOnFile_, exit_, about_})
        connect(a, &QAction::triggered, this, [this, a] { runCommand(a->data().toInt()); });
    // The check mark follows the switch each time the menu opens.
    connect(file, &QMenu::aboutToShow, this, &MainWindow::refreshLogCheck);
    refreshLogCheck();
}

MainWindow::~MainWindow()
{
    emit destroyedWindow();
}

QAction* MainWindow::commandAction(int command) const
{
    switch (command) {
    case kCmdCommStatus: return commStatus_;
    case kCmdLogOnFile: return logOnFile_;
    case kCmdExit: return exit_;
    case kCmdAbout: return about_;
    default: return nullptr;
    }
}

void MainWindow::refreshLogCheck()
{
    logOnFile_->setChecked(logToFile.load());
}

void MainWindow::rebuildStatusText()
{
    view_->setStatusText(QString::fromLatin1(messageRing.newestFirst().c_str()));
}

QString MainWindow::statusText() const
{
    return view_->statusText();
}

void MainWindow::runCommand(int command)
{
    switch (command) {
    case kCmdCommStatus:
        openCommStatus();
        break;
    case kCmdLogOnFile:
        logToFile = !logToFile.load();
        refreshLogCheck();
        break;
    case kCmdExit:
        close();
        break;
    case kCmdAbout: {
        AboutBox box(this);
        box.exec();
        break;
    }
    default:
        break;
    }
}

void MainWindow::openCommStatus()
{
    if (statusDialog_)
        return;
    // The tree and list views need no common-controls set-up before the dialog is made.
    StatusDialog dialog(this);
    statusDialog_ = &dialog;
    dialog.exec();
    statusDialog_ = nullptr;
}

void MainWindow::showWarning(const QString& text, const QString& caption)
{
    if (boxHook_) {
        boxHook_(text, caption);
        return;
    }
    QMessageBox::warning(isVisible() ? this : nullptr, caption, text);
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    e->accept();
    emit destroyedWindow();
}

void MainWindow::mousePressEvent(QMouseEvent* e)
{
    e->accept();
}

QtWindowLink::QtWindowLink(MainWindow* window) : window_(window), gate_(window)
{
    goneConnection_ =
        QObject::connect(window, &MainWindow::destroyedWindow, window, [this] { windowGone(); });
}

QtWindowLink::~QtWindowLink()
{
    // The window may outlive the link: it must not tell a link that is gone.
    QObject::disconnect(goneConnection_);
    gate_.close();
}

void QtWindowLink::windowGone()
{
    gate_.close();
}

void QtWindowLink::messageBox(const std::string& text, const std::string& caption)
{
    MainWindow* w = window_;
    gate_.call([w, text, caption] {
        w->showWarning(QString::fromLatin1(text.c_str()), QString::fromLatin1(caption.c_str()));
    });
}

void QtWindowLink::messageRingChanged()
{
    MainWindow* w = window_;
    gate_.call([w] { w->rebuildStatusText(); });
}

void QtWindowLink::noPlcConfigured()
{
    MainWindow* w = window_;
    gate_.call([w] {
        w->showWarning(kNoPlcText, kServerCaption);
        w->close();
    });
}

void QtWindowLink::postClose()
{
    MainWindow* w = window_;
    gate_.post([w] { w->close(); });
}
