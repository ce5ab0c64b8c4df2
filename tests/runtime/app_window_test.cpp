#include "server/polling/error_log.h"
#include "server/polling/message_ring.h"
#include "server/runtime/about_box.h"
#include "server/runtime/headless_link.h"
#include "server/runtime/main_window.h"
#include "server/runtime/server_texts.h"
#include "server/runtime/status_value_format.h"
#include "server/toolkit/variant.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "app_window_test";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

TEST(StatusValue, EachDatatypeIsFormattedItsWay)
{
    EXPECT_EQ(formatStatusValue(vt::I2, Variant::fromI2(-12), 0), "-12");
    EXPECT_EQ(formatStatusValue(vt::UI2, Variant::fromUI2(65535), 0), "65535");
    EXPECT_EQ(formatStatusValue(vt::I4, Variant::fromI4(-70000), 0), "-70000");
    EXPECT_EQ(formatStatusValue(vt::UI4, Variant::fromUI4(4000000000u), 0), "4000000000");
    EXPECT_EQ(formatStatusValue(vt::R4, Variant::fromR4(1.5f), 0), "1.500000");
    EXPECT_EQ(formatStatusValue(vt::BOOL, Variant::fromBool(true), 0), "TRUE");
    EXPECT_EQ(formatStatusValue(vt::BOOL, Variant::fromBool(false), 0), "FALSE");
    EXPECT_EQ(formatStatusValue(vt::BSTR, Variant::fromString("ABCDEF"), 4), "ABCD");
    EXPECT_EQ(formatStatusValue(vt::BSTR, Variant::fromString(std::string("AB\0CD", 5)), 5), "AB");
    EXPECT_EQ(formatStatusValue(vt::ARRAY | vt::I2, Variant::makeArray(vt::I2, 3), 3), "[..]");
    EXPECT_EQ(formatStatusValue(vt::EMPTY, Variant(), 0), "");
    EXPECT_EQ(formatStatusQuality(0xC0), "Good");
}

TEST(HeadlessLink, BoxesAndNewRingLinesGoToStandardError)
{
    std::ostringstream err;
    int quits = 0;
    HeadlessLink link(err, [&] { ++quits; });
    link.messageBox("Wrong XML file syntax: no devices element\n", "OPC OMRON Server");
    messageRing.put("Press: 6 Dec 2026 07 05 No answer\r\n");
    link.messageRingChanged();
    link.noPlcConfigured();
    EXPECT_EQ(err.str(), "OPC OMRON Server: Wrong XML file syntax: no devices element\n"
                         "Press: 6 Dec 2026 07 05 No answer\n"
                         "OPC OMRON Server: No OMRON PLC configured. OPC Server being closed.\n");
    EXPECT_EQ(quits, 1);
    link.loopEnded();
    link.postClose();
    EXPECT_EQ(quits, 1);
}

TEST(MainWindow, TitleSizeAndMenuCommands)
{
    app();
    MainWindow w;
    EXPECT_EQ(w.windowTitle(), "Molv OMRON-CSeries HostLink OPC DA Server");
    EXPECT_EQ(w.size(), QSize(506, 100));
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    const std::vector<std::pair<int, QString>> commands = {
        {kCmdCommStatus, "Comm. Status ..."}, {kCmdLogOnFile, "Log on File"}, {kCmdExit, "E&xit"}, {kCmdAbout, "&About ..."}};
    for (const auto& [id, text] : commands) {
        ASSERT_NE(w.commandAction(id), nullptr) << id;
        EXPECT_EQ(w.commandAction(id)->text(), text);
        EXPECT_EQ(w.commandAction(id)->data().toInt(), id);
    }
    const auto menus = w.menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Help");
}

TEST(MainWindow, LogOnFileTogglesTheSwitchAndItsCheckMark)
{
    app();
    MainWindow w;
    logToFile = false;
    w.runCommand(kCmdLogOnFile);
    EXPECT_TRUE(logToFile.load());
    EXPECT_TRUE(w.commandAction(kCmdLogOnFile)->isChecked());
    w.runCommand(kCmdLogOnFile);
    EXPECT_FALSE(logToFile.load());
    EXPECT_FALSE(w.commandAction(kCmdLogOnFile)->isChecked());
}

TEST(MainWindow, StatusTextShowsTheRingNewestFirst)
{
    app();
    // A ring with three messages: newest first, then the seven fillers.
    for (int i = 0; i < MessageRing::kSize; ++i)
        messageRing.put("\r\n");
    while (messageRing.index() != 0)
        messageRing.put("\r\n");
    messageRing.put("one\r\n");
    messageRing.put("two\r\n");
    messageRing.put("three\r\n");
    MainWindow w;
    QtWindowLink link(&w);
    std::thread poller([&] { link.messageRingChanged(); }); // waits for the main thread
    while (w.statusText().isEmpty())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    poller.join();
    QString expected = "three\r\ntwo\r\none\r\n";
    for (int i = 0; i < 7; ++i)
        expected += "\r\n";
    EXPECT_EQ(w.statusText(), expected);
}

TEST(MainWindow, CallsFromThePollingThreadReturnOnceTheWindowIsGone)
{
    app();
    auto w = std::make_unique<MainWindow>();
    QtWindowLink link(w.get());
    link.windowGone();
    // Nobody runs the event loop now: the call must not wait for it.
    std::thread poller([&] { link.messageRingChanged(); link.noPlcConfigured(); });
    poller.join();
    SUCCEED();
}

TEST(MainWindow, NoPlcShowsTheBoxThenCloses)
{
    app();
    MainWindow w;
    QStringList boxes;
    w.setMessageBoxHook([&](const QString& text, const QString& caption) { boxes << caption + "|" + text; });
    bool closed = false;
    QObject::connect(&w, &MainWindow::destroyedWindow, [&] { closed = true; });
    QtWindowLink link(&w);
    std::thread poller([&] { link.noPlcConfigured(); });
    while (!closed)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    poller.join();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0], "OPC OMRON Server|No OMRON PLC configured. OPC Server being closed.");
}

TEST(AboutBox, TitleAndVersionLine)
{
    app();
    AboutBox box;
    EXPECT_EQ(box.windowTitle(), "About Omron C-Series HostLink OPC DA Server");
    bool found = false;
    for (auto* label : box.findChildren<QLabel*>())
        found = found || label->text() == "Omron HostLink OPC DA Server - Ver. 1.1.0.0  Win32 ";
    EXPECT_TRUE(found);
}

} // namespace
