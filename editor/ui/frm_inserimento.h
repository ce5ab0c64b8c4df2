// The group panel of the item dialog: asks how many items "Add Group...." adds in one go.
#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QPushButton;

class frmInserimento : public QFrame {
    Q_OBJECT
public:
    explicit frmInserimento(QWidget* parent = nullptr);

    QLabel* lblNumbItems;
    QLineEdit* txtNumbItems;
    QPushButton* cmdOkNumber;
};
