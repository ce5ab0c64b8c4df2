// The on-screen prompts: message boxes and their answers, file dialog filters, the hourglass.
#include "editor/ui/qt_prompts.h"
#include "tests/editor-ui/qt_test_app.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

class QtPromptsTest : public QtWidgetTest {
protected:
    // Runs act on the message box once it is up.
    void whenBoxShows(std::function<void(QMessageBox&)> act)
    {
        QTimer::singleShot(0, [this, act] { poll(act, 200); });
    }

private:
    void poll(std::function<void(QMessageBox&)> act, int triesLeft)
    {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            act(*box);
            return;
        }
        if (triesLeft > 0)
            QTimer::singleShot(10, [this, act, triesLeft] { poll(act, triesLeft - 1); });
    }
};

TEST_F(QtPromptsTest, QuestionsAnswerWithTheButtonPressed)
{
    QtPrompts prompts;
    QString caption, text;
    whenBoxShows([&](QMessageBox& box) {
        caption = box.windowTitle();
        text = box.text();
        box.button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(prompts.question("Overwrite?", PromptButtons::YesNoCancel, PromptIcon::Question, ""),
              PromptAnswer::Cancel);
    EXPECT_EQ(caption, "Pelmora");
    EXPECT_EQ(text, "Overwrite?");

    whenBoxShows([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
    EXPECT_EQ(prompts.question("Save?", PromptButtons::YesNo, PromptIcon::Question, "Other"), PromptAnswer::Yes);
}

TEST_F(QtPromptsTest, EscapeMeansNoOrCancel)
{
    QtPrompts prompts;
    whenBoxShows([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_EQ(prompts.question("Save?", PromptButtons::YesNo, PromptIcon::Question, ""), PromptAnswer::No);
    whenBoxShows([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_EQ(prompts.question("Overwrite?", PromptButtons::YesNoCancel, PromptIcon::Question, ""),
              PromptAnswer::Cancel);
}

TEST_F(QtPromptsTest, MessagesHaveOnlyAnOkButton)
{
    QtPrompts prompts;
    int buttons = -1;
    QString caption;
    whenBoxShows([&](QMessageBox& box) {
        buttons = static_cast<int>(box.buttons().size());
        caption = box.windowTitle();
        box.button(QMessageBox::Ok)->click();
    });
    prompts.message("done", PromptIcon::None, "");
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(caption, "Pelmora");
}

TEST_F(QtPromptsTest, FiltersBecomeQtNameFilters)
{
    EXPECT_EQ(QtPrompts::qtFilter("configuration files |*.xml"), "configuration files (*.xml)");
    EXPECT_EQ(QtPrompts::qtFilter("xml|*.xml|all|*.*"), "xml (*.xml);;all (*.*)");
}

TEST_F(QtPromptsTest, TheHourglassNests)
{
    QtPrompts prompts;
    prompts.setBusy(true);
    prompts.setBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    prompts.setBusy(false);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    prompts.setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    prompts.setBusy(false);  // an extra "off" is harmless
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
