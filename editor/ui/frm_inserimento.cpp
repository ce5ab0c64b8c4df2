#include "editor/ui/frm_inserimento.h"

#include "editor/model/name_rules.h"
#include "editor/ui/dialog_input.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmInserimento::frmInserimento(QWidget* parent) : QFrame(parent)
{
    setObjectName("frmInserimento");
    setFrameShape(QFrame::StyledPanel);
    lblNumbItems = new QLabel("INSERT NUMBER OF ITEMS TO ADD", this);
    txtNumbItems = new QLineEdit(this);
    txtNumbItems->setObjectName("txtNumbItems");
    new KeyFilter(txtNumbItems, NumericKeyFilter);
    cmdOkNumber = new QPushButton("OK", this);
    cmdOkNumber->setObjectName("cmdOkNumber");
    cmdOkNumber->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblNumbItems);
    auto* row = new QHBoxLayout;
    row->addWidget(txtNumbItems);
    row->addWidget(cmdOkNumber);
    layout->addLayout(row);
}
