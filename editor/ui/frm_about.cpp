#include "editor/ui/frm_about.h"

#include "editor/ui/pelmora_app.h"
#include "editor/ui/pictures.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    const VersionInfo& v = versionInfo();
    setObjectName("frmAbout");
    setWindowTitle(QString::fromStdString("About " + v.product));
    setModal(false);

    auto* picture = new QLabel;
    picture->setPixmap(pictures::treePicture("main").pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);

    mTitle = new QLabel(QString::fromStdString(v.company + " " + v.product));
    mTitle->setObjectName("lblTitle");
    QFont titleFont = mTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    mTitle->setFont(titleFont);
    mVersion = new QLabel(QString::fromStdString("Version " + v.versionText()));
    mVersion->setObjectName("lblVersion");
    mDescription = new QLabel(QString::fromStdString(v.fileDescription));
    mDescription->setObjectName("lblDescription");
    mDescription->setWordWrap(true);
    QStringList contact;
    for (const std::string& line : v.contact)
        contact.append(QString::fromStdString(line));
    mContact = new QLabel(contact.join('\n'));
    mContact->setObjectName("lblContact");

    auto* texts = new QVBoxLayout;
    texts->addWidget(mTitle);
    texts->addWidget(mVersion);
    texts->addSpacing(8);
    texts->addWidget(mDescription);
    texts->addSpacing(8);
    texts->addWidget(mContact);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("cmdOK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}
