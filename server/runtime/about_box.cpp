#include "server/runtime/about_box.h"

#include "server/runtime/server_icon.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle(kAboutTitle);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(serverIcon().pixmap(32, 32));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* lines = new QVBoxLayout;
    for (const char* text : {kAboutVersionLine, "MOLV Automation S.r.l.", "Via dell'Industria 14, 35129 Padova, Italy",
                             "Tel. +39 049 000 0000   Fax +39 049 000 0001", "www.molv-automation.example"}) {
        auto* label = new QLabel(QString::fromLatin1(text));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        lines->addWidget(label);
    }
    top->addLayout(lines);
    auto* logo = new QLabel;
    logo->setObjectName("logo");
    logo->setPixmap(serverLogo());
    top->addWidget(logo, 0, Qt::AlignTop);
    layout->addLayout(top);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    // 193 x 109 dialog units at 8 points.
    resize(290, 178);
}
