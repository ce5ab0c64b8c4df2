// frmFind, "Find Item": finds nodes of the main window's tree by the beginning of their text
// (letter case ignored), in the order the nodes were added. Shown without blocking the window.
#pragma once

#include <QWidget>

#include <cstdint>
#include <string>

class frmEditing;
class QLabel;
class QLineEdit;
class QPushButton;

class frmFind : public QWidget {
    Q_OBJECT
public:
    // Loading: mnCounter 0, gbFindLoaded set. The window deletes itself when it is closed.
    explicit frmFind(frmEditing& owner);
    ~frmFind() override;

    std::int16_t mnCounter = 0; // Find Next presses since the window was loaded

    QLabel* lblFind;
    QLineEdit* txtFind;
    QPushButton* cmdFind;
    QPushButton* cmdNext;
    QPushButton* cmdCancel;

    // True when the node text begins with the search text, letter case ignored.
    static bool matches(const std::string& nodeText, const std::string& search);

public slots:
    void cmdFind_Click();
    void cmdNext_Click();
    void cmdCancel_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Activate();
    void Form_Unload();

    frmEditing& mOwner;
    bool mUnloaded = false;
};
