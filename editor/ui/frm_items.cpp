#include "editor/ui/frm_items.h"

#include "common/format_vocab.h"
#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/name_rules.h"
#include "editor/model/prompts.h"
#include "editor/model/text_conv.h"
#include "editor/ui/dialog_input.h"
#include "editor/ui/error_message.h"
#include "editor/ui/frm_inserimento.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The types the dialog offers for the word areas, in the order it offers them.
const QStringList kWordAreaTypes = {
    "boolean", "unsigned 16 bit", "unsigned 32 bit", "signed 16 bit", "signed 32 bit", "32 bit float",
    "boolean array", "unsigned 8 bit array", "unsigned 16 bit array", "unsigned 32 bit array",
    "signed 8 bit array", "signed 16 bit array", "signed 32 bit array", "32 bit float array", "string"};
const QStringList kTimerTypes = {"unsigned 16 bit", "unsigned 16 bit array"};
const QStringList kFlagTypes = {"boolean", "boolean array"};

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

long long whole(const QLineEdit* box) { return toInt32(numericValue(toStd(box->text()))); }

} // namespace

ItemPlace nextItemPlace(const std::string& t, long long address, long long bit, long long n)
{
    if (t == "boolean")
        return bit == 15 ? ItemPlace{address + 1, 0} : ItemPlace{address, bit + 1};
    if (t == "unsigned 16 bit" || t == "signed 16 bit")
        return {address + 1, bit};
    if (t == "unsigned 32 bit" || t == "signed 32 bit" || t == "32 bit float")
        return {address + 2, bit};
    if (t == "boolean array")
        return {address + (bit + n) / 16, (bit + n) % 16};
    if (t == "unsigned 8 bit array" || t == "signed 8 bit array" || t == "string")
        return {address + static_cast<long long>(std::nearbyint(n / 2.0)) + 1, bit};
    if (t == "unsigned 16 bit array" || t == "signed 16 bit array")
        return {address + n, bit};
    if (t == "unsigned 32 bit array" || t == "signed 32 bit array" || t == "32 bit float array")
        return {address + 2 * n, bit};
    return {address, bit};
}

frmItems::frmItems(EditorDocument& doc, Prompts& prompts, QWidget* parent)
    : QDialog(parent), mDoc(doc), mPrompts(prompts)
{
    setWindowTitle("Item Properties");
    setModal(true);

    frmMain = new QFrame(this);
    frmMain->setObjectName("frmMain");
    auto make = [&](const char* name) {
        auto* box = new QLineEdit(frmMain);
        box->setObjectName(name);
        return box;
    };
    txtItemName = make("txtItemName");
    txtComment = make("txtComment");
    txtAddress = make("txtAddress");
    txtBit = make("txtBit");
    txtElements = make("txtElements");
    new KeyFilter(txtItemName, ItemNameKeyFilter);
    for (QLineEdit* box : {txtAddress, txtBit, txtElements})
        new KeyFilter(box, NumericKeyFilter);

    cmbArea = new QComboBox(frmMain);
    cmbArea->setObjectName("cmbArea");
    cmbDataType = new QComboBox(frmMain);
    cmbDataType->setObjectName("cmbDataType");
    cmbAccessRight = new QComboBox(frmMain);
    cmbAccessRight->setObjectName("cmbAccessRight");
    chkBcd = new QCheckBox("BCD", frmMain);
    chkBcd->setObjectName("chkBcd");

    lblItemName = new QLabel("Item Name", frmMain);
    lblComment = new QLabel("Comment", frmMain);
    lblArea = new QLabel("Area Code", frmMain);
    lblAddress = new QLabel("Address", frmMain);
    lblBit = new QLabel("Bit number", frmMain);
    lblDataType = new QLabel("Data Type", frmMain);
    lblAccessRight = new QLabel("Access Right", frmMain);
    lblElements = new QLabel("Number of Elements", frmMain);

    auto button = [&](const char* caption, const char* name) {
        auto* b = new QPushButton(caption, frmMain);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    cmdOk = button("Add and Exit", "cmdOk");
    cmdAdd = button("Add and Increment", "cmdAdd");
    cmdGroup = button("Add Group....", "cmdGroup");
    cmdCancel = button("Exit", "cmdCancel");
    // Enter presses the main button (Add and Exit, or Confirm Modify); Escape is Exit.
    cmdOk->setDefault(true);

    auto* grid = new QGridLayout(frmMain);
    int row = 0;
    grid->addWidget(lblItemName, row, 0);
    grid->addWidget(txtItemName, row++, 1, 1, 3);
    grid->addWidget(lblComment, row, 0);
    grid->addWidget(txtComment, row++, 1, 1, 3);
    grid->addWidget(lblArea, row, 0);
    grid->addWidget(cmbArea, row, 1);
    grid->addWidget(lblAddress, row, 2);
    grid->addWidget(txtAddress, row++, 3);
    grid->addWidget(lblBit, row, 0);
    grid->addWidget(txtBit, row, 1);
    grid->addWidget(chkBcd, row++, 3);
    grid->addWidget(lblDataType, row, 0);
    grid->addWidget(cmbDataType, row, 1);
    grid->addWidget(lblAccessRight, row, 2);
    grid->addWidget(cmbAccessRight, row++, 3);
    grid->addWidget(lblElements, row, 0);
    grid->addWidget(txtElements, row++, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {cmdOk, cmdAdd, cmdGroup, cmdCancel})
        buttons->addWidget(b);
    grid->addLayout(buttons, row, 0, 1, 4);

    // Tab follows the layout: row by row, left to right, then the buttons.
    const QList<QWidget*> order = {txtItemName, txtComment, cmbArea, txtAddress, txtBit, chkBcd,
                                   cmbDataType, cmbAccessRight, txtElements, cmdOk, cmdAdd, cmdGroup, cmdCancel};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    frmInserimentoPanel = new frmInserimento(this);
    frmInserimentoPanel->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frmMain);
    layout->addWidget(frmInserimentoPanel);

    connect(cmbArea, &QComboBox::currentIndexChanged, this, [this] { cmbArea_Click(); });
    connect(cmbDataType, &QComboBox::currentIndexChanged, this, [this] { cmbDataType_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, &frmItems::cmdOk_Click);
    connect(cmdAdd, &QPushButton::clicked, this, &frmItems::cmdAdd_Click);
    connect(cmdGroup, &QPushButton::clicked, this, &frmItems::cmdGroup_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmItems::cmdCancel_Click);
    connect(frmInserimentoPanel->cmdOkNumber, &QPushButton::clicked, this, &frmItems::cmdOkNumber_Click);
}

void frmItems::showEvent(QShowEvent* event)
{
    if (!mLoaded)
        Form_Load();
    QDialog::showEvent(event);
}

void frmItems::setBox(QLineEdit* box, QLabel* label, bool enabled)
{
    if (!enabled)
        box->setText("0");
    box->setEnabled(enabled);
    label->setEnabled(enabled);
}

void frmItems::selectType(const std::string& type)
{
    QSignalBlocker block(cmbDataType);
    showChoice(cmbDataType, type);
}

void frmItems::cmbArea_Click()
{
    const std::string area = toStd(cmbArea->currentText());
    const QStringList* types = nullptr;
    if (area == "TC")
        types = &kTimerTypes;
    else if (area == "TG")
        types = &kFlagTypes;
    else if (area == "DM" || area == "HR" || area == "IR" || area == "AR" || area == "LR")
        types = &kWordAreaTypes;
    if (!types)
        return;
    {
        QSignalBlocker block(cmbDataType);
        cmbDataType->clear();
        cmbDataType->addItems(*types);
    }
    if (area == "TC") {
        chkBcd->setChecked(true);
        chkBcd->setEnabled(false);
    } else if (area == "TG") {
        chkBcd->setChecked(false);
        chkBcd->setEnabled(false);
    } else {
        chkBcd->setEnabled(true);
    }
    // When editing, the first type of the new list stays shown; the fields follow it either way.
    if (!mDoc.gbItemModify)
        selectType(area == "TG" ? "boolean" : "unsigned 16 bit");
    cmbDataType_Click();
}

void frmItems::cmbDataType_Click()
{
    const std::string type = toStd(cmbDataType->currentText());
    setBox(txtElements, lblElements, contains(type, "array") || type == "string");
    setBox(txtBit, lblBit, contains(type, "boolean"));
    if (contains(type, "signed")) {
        chkBcd->setEnabled(true);
    } else {
        chkBcd->setChecked(false);
        chkBcd->setEnabled(false);
    }
    // Timer and counter present values are BCD by nature; the box stays as the area set it.
    if (cmbArea->currentText() == "TC") {
        chkBcd->setChecked(true);
        chkBcd->setEnabled(false);
    }
}

void frmItems::Form_Load()
{
    mLoaded = true;
    trapErrors(mPrompts, "Form_Load", [&] {
        {
            QSignalBlocker block(cmbArea);
            cmbArea->clear();
            for (const AreaEntry& e : kAreaTable)
                cmbArea->addItem(toQ(std::string(e.prefix)));
            cmbArea->setCurrentIndex(-1);
        }
        cmbAccessRight->clear();
        for (const AccessEntry& e : kAccessTable)
            cmbAccessRight->addItem(toQ(std::string(e.word)));
        setBox(txtElements, lblElements, false);
        mbAddOk = true;

        if (mDoc.gbItemModify) {
            if (!mPrevItem)
                editor_err::raise(editor_err::kObjectNotSet);
            const clsItem& item = *mPrevItem;
            cmdOk->setText("Confirm Modify");
            cmdAdd->setEnabled(false);
            cmdGroup->setEnabled(false);
            txtItemName->setText(toQ(item.sName));
            txtComment->setText(toQ(item.sComment));
            txtAddress->setText(QString::number(item.nAddress));
            showChoice(cmbAccessRight, item.sAccessRight);
            {
                QSignalBlocker block(cmbArea);
                showChoice(cmbArea, item.sArea);
            }
            // The area and type rules set which boxes are open; the values stay as stored
            // (the rules would clear the elements and the bit, and make a BIN timer BCD).
            cmbArea_Click();
            selectType(item.sDataType);
            cmbDataType_Click();
            txtElements->setText(QString::number(item.nElements));
            txtBit->setText(QString::number(item.nBitNumber));
            chkBcd->setChecked(item.bBcd);
            return;
        }

        {
            QSignalBlocker block(cmbDataType);
            cmbDataType->clear();
            cmbDataType->addItems(kWordAreaTypes);
        }
        cmdOk->setText("Add and Exit");
        cmdGroup->setEnabled(true);
        txtItemName->setText("New Item " + QString::number(mDoc.gnItemCount));
        txtComment->clear();
        selectType("unsigned 16 bit");
        chkBcd->setEnabled(true);
        chkBcd->setChecked(true);
        txtAddress->clear();
        {
            QSignalBlocker block(cmbArea);
            cmbArea->setCurrentIndex(cmbArea->findText("DM"));
        }
        setBox(txtElements, lblElements, false);
        setBox(txtBit, lblBit, false);
        cmbAccessRight->setCurrentIndex(cmbAccessRight->findText("READWRITE"));
    });
}

bool frmItems::CheckFields()
{
    bool ok = false;
    trapErrors(mPrompts, "CheckFields", [&] {
        auto refuse = [&](const std::string& text) { mPrompts.message(text); };
        if (txtItemName->text().isEmpty())
            return refuse("Item name field is empty.");
        const std::string address = toStd(txtAddress->text());
        if (address.empty())
            return refuse("Address field is empty.");
        const double a = numericValue(address);
        if (a < 0 || a > 65535)
            return refuse("Address field is not valid. It must be between 0 and 65535.");
        if (ownEnabled(txtBit)) {
            const std::string bit = toStd(txtBit->text());
            if (bit.empty())
                return refuse("Bit number field is empty.");
            const double b = numericValue(bit);
            if (b < 0 || b > 15)
                return refuse("Bit number field is not valid. It must be between 0 and 15.");
        }
        if (ownEnabled(txtElements)) {
            const std::string elements = toStd(txtElements->text());
            if (elements.empty())
                return refuse("Number of elements field is empty.");
            if (numericValue(elements) < 0)
                return refuse("Number of elements field is not valid.");
        }
        ok = true;
    });
    return ok;
}

ItemFormFields frmItems::formFields() const
{
    ItemFormFields f;
    f.txtItemName = toStd(txtItemName->text());
    f.txtComment = toStd(txtComment->text());
    f.cmbDataType = toStd(cmbDataType->currentText());
    f.txtElements = toStd(txtElements->text());
    f.txtAddress = toStd(txtAddress->text());
    f.cmbArea = toStd(cmbArea->currentText());
    f.txtBit = toStd(txtBit->text());
    f.chkBcd = chkBcd->isChecked();
    f.cmbAccessRight = toStd(cmbAccessRight->currentText());
    return f;
}

bool frmItems::AddItemToColl()
{
    mbAddOk = false;
    bool result = false;
    trapErrors(mPrompts, "AddItemToColl", [&] {
        if (!CheckFields())
            return;
        DocTree& tree = mDoc.TreeView1;
        const std::string name = toStd(txtItemName->text());
        if (!CheckDuplNames("item", name, tree, mDoc.gbItemModify, mPrompts))
            return;
        // Name and comment are written to the file as they are.
        if (!CheckFileChars(name, mPrompts) || !CheckFileChars(toStd(txtComment->text()), mPrompts))
            return;

        auto item = std::make_shared<clsItem>();
        item->SetByForm(formFields(), tree, mDoc.gbItemModify);

        if (mDoc.gbItemModify) {
            if (!mPrevItem)
                editor_err::raise(editor_err::kObjectNotSet);
            const std::string oldKey = mPrevItem->sKey;
            DocNode& node = tree.node(oldKey);
            // A branch at the same level may hold the key; refuse before anything changes.
            const DocNode* holder = tree.find(item->sKey);
            if (holder && holder != &node) {
                mPrompts.message("Name already existing. Please use a different name");
                return;
            }
            if (item->sKey != oldKey && mDoc.gcolItems.contains(item->sKey))
                editor_err::raise(editor_err::kCollectionKey);
            mDoc.gcolItems.remove(oldKey);
            mDoc.gcolItems.add(item->sKey, item);
            tree.setText(&node, item->sName);
            tree.setKey(&node, item->sKey);
            tree.setSelectedItem(&tree.node(item->sKey));
            mDoc.gbCfgSaved = false;
            // A second "Confirm Modify" works on the item as it is now.
            mPrevItem = item;
            result = true;
            return;
        }

        DocNode* parent = tree.selectedItem();
        if (tree.containsKey(item->sKey)) {
            mPrompts.message("Name already existing. Please use a different name");
            return;
        }
        mDoc.gcolItems.add(item->sKey, item);
        DocNode* node = tree.add(parent, item->sKey, item->sName, "item", "item", "item");
        tree.ensureVisible(node);
        mDoc.gbCfgSaved = false;
        incrementCounter(mDoc.gnItemCount);
        mDoc.gbItemOk = true;
        mbAddOk = true;
        result = true;
    });
    return result;
}

void frmItems::cmdOk_Click()
{
    trapErrors(mPrompts, "cmdOk_Click", [&] {
        AddItemToColl();
        if (mbAddOk)
            accept();
    });
}

void frmItems::cmdAdd_Click()
{
    trapErrors(mPrompts, "cmdAdd_Click", [&] {
        if (!AddItemToColl())
            return;
        txtItemName->setText("New_Item_" + QString::number(mDoc.gnItemCount));
        txtComment->clear();
        const ItemPlace next = nextItemPlace(toStd(cmbDataType->currentText()), whole(txtAddress), whole(txtBit),
                                             whole(txtElements));
        txtAddress->setText(QString::number(next.address));
        txtBit->setText(QString::number(next.bit));
    });
}

void frmItems::cmdGroup_Click()
{
    frmMain->setEnabled(false);
    // While the count is asked, Enter answers it.
    frmInserimentoPanel->cmdOkNumber->setDefault(true);
    frmInserimentoPanel->show();
    frmInserimentoPanel->txtNumbItems->setText("1");
    frmInserimentoPanel->txtNumbItems->setFocus();
}

void frmItems::cmdOkNumber_Click()
{
    const bool done = trapErrors(mPrompts, "cmdOkNumber_Click", [&] {
        const std::string text = toStd(frmInserimentoPanel->txtNumbItems->text());
        if (!IsNumeric(text)) {
            mPrompts.message("Number of items is not valid.");
            return;
        }
        frmInserimentoPanel->hide();
        const std::int16_t n = toInt16(numericValue(text));
        if (n > 0) {
            BusyGuard busy(mPrompts);
            for (int i = 0; i < n; ++i) {
                cmdAdd_Click();
                if (!mbAddOk)
                    break;
            }
        }
        frmMain->setEnabled(true);
        cmdOk->setDefault(true);
        txtItemName->setFocus();
    });
    // A count the field can't hold must not leave the dialog with every control disabled.
    if (!done) {
        frmInserimentoPanel->hide();
        frmMain->setEnabled(true);
        cmdOk->setDefault(true);
    }
}

void frmItems::cmdCancel_Click() { reject(); }

void frmItems::reject()
{
    mDoc.gbItemOk = false;
    QDialog::reject();
}
