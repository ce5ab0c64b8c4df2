// A plant engineer who never touches the mouse: a PLC, a branch and an array item built, the
// item edited and the file saved, with keys alone.
#include "editor/ui/frm_editing.h"
#include "editor/ui/frm_items.h"
#include "tests/editor-ui/dialog_test_support.h"
#include "tests/editor-ui/window_test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

class KeyboardWalk : public WindowTest {
protected:
    // The window's shortcuts reach it only while it is the active window.
    void SetUp() override
    {
        WindowTest::SetUp();
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
    }
    // A key on the main window, which is active again once a dialog has gone.
    void press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QApplication::setActiveWindow(window.get());
        QTest::keyClick(target, key, mods);
    }
    // What a window manager does for a dialog that opens: it becomes the active window, and
    // its first field has the focus.
    static void activate(QWidget* dialog)
    {
        QApplication::setActiveWindow(dialog);
        if (!dialog->focusWidget())
            dialog->nextInFocusChain()->setFocus(Qt::ActiveWindowFocusReason);
    }
    // Keys typed into whatever has the focus in the active dialog.
    static void type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
    static void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), k, mods);
    }
    static void replaceText(const QString& text)
    {
        key(Qt::Key_A, Qt::ControlModifier);
        type(text);
    }
};

TEST_F(KeyboardWalk, BuildEditAndSaveWithoutTheMouse)
{
    press(window.get(), Qt::Key_N, Qt::ControlModifier);
    ASSERT_TRUE(doc().gbCfgOpen);

    whenModal([](QWidget* d) {
        activate(d);
        replaceText("Oven");
        key(Qt::Key_Return); // Ok
    });
    press(window->TreeView1(), Qt::Key_P, Qt::ControlModifier);
    ASSERT_NE(node("Oven"), nullptr) << (prompts.messages().empty() ? "" : prompts.messages().front());

    window->TreeView1_NodeClick(node("Oven"));
    whenModal([](QWidget* d) {
        activate(d);
        replaceText("ZONE1");
        key(Qt::Key_Return);
    });
    press(window->TreeView1(), Qt::Key_B, Qt::ControlModifier);
    ASSERT_NE(node("Oven.ZONE1"), nullptr);

    // Fields in tab order: name, comment, area, address, (bit), BCD, type, access, elements.
    whenModal([](QWidget* dialog) {
        auto* d = static_cast<frmItems*>(dialog);
        activate(d);
        replaceText("Temps");
        key(Qt::Key_Tab);
        type("three zones");
        key(Qt::Key_Tab); // area: DM stays
        key(Qt::Key_Tab);
        type("100");
        key(Qt::Key_Tab); // the bit box is closed: BCD next
        key(Qt::Key_Tab);
        key(Qt::Key_End); // "string", the last type
        key(Qt::Key_Up);
        EXPECT_EQ(d->cmbDataType->currentText(), "32 bit float array");
        key(Qt::Key_Tab); // access stays READWRITE
        key(Qt::Key_Tab);
        replaceText("3");
        key(Qt::Key_Return); // Add and Exit
    });
    press(window->TreeView1(), Qt::Key_I, Qt::ControlModifier);
    ASSERT_NE(node("Oven.ZONE1.Temps"), nullptr) << (prompts.messages().empty() ? "" : prompts.messages().front());

    // Down to the item in the tree, F2 for its properties, a new comment, Enter, Escape.
    window->TreeView1()->setFocus();
    window->TreeView1()->setCurrentIndex(window->indexOfNode(node("Oven.ZONE1")));
    press(window->TreeView1(), Qt::Key_Right);
    press(window->TreeView1(), Qt::Key_Down);
    ASSERT_EQ(window->selectedNode(), node("Oven.ZONE1.Temps"));
    whenModal([](QWidget* d) {
        activate(d);
        key(Qt::Key_Tab);
        replaceText("three oven zones");
        key(Qt::Key_Return); // Confirm Modify
        key(Qt::Key_Escape); // Exit
    });
    press(window->TreeView1(), Qt::Key_F2);
    EXPECT_EQ(doc().gcolItems.item("Oven.ZONE1.Temps")->sComment, "three oven zones");
    EXPECT_EQ(doc().gcolItems.item("Oven.ZONE1.Temps")->nElements, 3);
    EXPECT_TRUE(window->isWindowModified());
    EXPECT_TRUE(window->windowTitle().endsWith("[*] - Pelmora")) << window->windowTitle().toStdString();

    press(window->TreeView1(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(doc().gbCfgSaved);
    EXPECT_FALSE(window->isWindowModified());
    std::ifstream in(window->msConfigFileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string file = text.str();
    for (const char* part : {"<ZONE1>", "<name>Temps</name>", "<comment>three oven zones</comment>",
                             "<channel>DM100</channel>", "<datatype>VT_R4 ARRAY/BIN</datatype>",
                             "<elements>3</elements>"})
        EXPECT_NE(file.find(part), std::string::npos) << part << "\n" << file;

    // Undo walks back through the edit with the keyboard too.
    press(window->TreeView1(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(doc().gcolItems.item("Oven.ZONE1.Temps")->sComment, "three zones");
    EXPECT_FALSE(doc().gbCfgSaved);
    press(window->TreeView1(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(doc().gcolItems.item("Oven.ZONE1.Temps")->sComment, "three oven zones");
    EXPECT_TRUE(doc().gbCfgSaved);
}

} // namespace
