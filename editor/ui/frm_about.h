// frmAbout: the About box, filled from the program's version information; shown without
// blocking the main window.
#pragma once

#include <QDialog>

class QLabel;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* lblTitle() const { return mTitle; }
    QLabel* lblVersion() const { return mVersion; }
    QLabel* lblDescription() const { return mDescription; }
    QLabel* lblContact() const { return mContact; }

private:
    QLabel* mTitle;
    QLabel* mVersion;
    QLabel* mDescription;
    QLabel* mContact;
};
