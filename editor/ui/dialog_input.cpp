#include "editor/ui/dialog_input.h"

#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

#include <cctype>

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }
bool digit(char c) { return c >= '0' && c <= '9'; }

bool radixLiteral(std::string_view s, std::size_t i, std::size_t end)
{
    const char p = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i + 1])));
    if (p != 'H' && p != 'O')
        return false;
    i += 2;
    if (i >= end)
        return false;
    for (; i < end; ++i) {
        const char c = s[i];
        const bool ok = p == 'H' ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '7');
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool IsNumeric(std::string_view s)
{
    std::size_t i = 0, end = s.size();
    while (i < end && blank(s[i]))
        ++i;
    while (end > i && blank(s[end - 1]))
        --end;
    if (i == end)
        return false;
    if (end - i >= 2 && s[i] == '&')
        return radixLiteral(s, i, end);
    if (s[i] == '+' || s[i] == '-')
        ++i;
    bool digits = false;
    while (i < end && digit(s[i])) {
        ++i;
        digits = true;
    }
    if (i < end && s[i] == '.') {
        ++i;
        while (i < end && digit(s[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < end && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        ++i;
        if (i < end && (s[i] == '+' || s[i] == '-'))
            ++i;
        bool expDigits = false;
        while (i < end && digit(s[i])) {
            ++i;
            expDigits = true;
        }
        if (!expDigits)
            return false;
    }
    return i == end;
}

int ItemNameKeyFilter(int keyAscii)
{
    if ((keyAscii >= 'A' && keyAscii <= 'Z') || (keyAscii >= 'a' && keyAscii <= 'z') ||
        (keyAscii >= '0' && keyAscii <= '9') || keyAscii == '-' || keyAscii == '_' || keyAscii == 8)
        return keyAscii;
    return 0;
}

KeyFilter::KeyFilter(QLineEdit* box, Filter filter) : QObject(box), mFilter(std::move(filter))
{
    box->installEventFilter(this);
    box->setContextMenuPolicy(Qt::NoContextMenu);
    box->setAcceptDrops(false);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste) || (key->key() == Qt::Key_Insert && (key->modifiers() & Qt::ShiftModifier)))
        return true;
    int code = 0;
    switch (key->key()) {
    case Qt::Key_Backspace: code = 8; break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return false; // moving between fields, not typing
    case Qt::Key_Return:
    case Qt::Key_Enter: return false; // the dialog's main button, not typing
    default: {
        const QString text = key->text();
        if (text.isEmpty())
            return false; // no character: arrows, Delete, Home ...
        code = text.at(0).unicode();
        if (key->modifiers() & Qt::ControlModifier)
            return false; // editing shortcuts (select all, undo) are not typing
        break;
    }
    }
    return mFilter(code) == 0;
}

bool ownEnabled(const QWidget* widget) { return !widget->testAttribute(Qt::WA_ForceDisabled); }

void showChoice(QComboBox* box, const std::string& text)
{
    const QString wanted = toQ(text);
    int index = wanted.isEmpty() ? -1 : box->findText(wanted);
    if (index < 0 && !wanted.isEmpty()) {
        box->addItem(wanted);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}
