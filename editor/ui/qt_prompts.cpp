#include "editor/ui/qt_prompts.h"

#include "editor/ui/error_message.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace {

QString captionOf(const std::string& caption)
{
    return QString::fromStdString(caption.empty() ? programTitle() : caption);
}

QMessageBox::Icon boxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Critical:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A dialog must not open under the hourglass.
struct NormalPointer {
    int depth = 0;
    explicit NormalPointer(int busyDepth) : depth(busyDepth)
    {
        if (depth > 0)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~NormalPointer()
    {
        if (depth > 0)
            QApplication::restoreOverrideCursor();
    }
};

}  // namespace

void QtPrompts::message(const std::string& text, PromptIcon icon, const std::string& caption)
{
    NormalPointer pointer(mBusyDepth);
    QMessageBox box(boxIcon(icon), captionOf(caption), QString::fromStdString(text), QMessageBox::Ok, mParent);
    box.exec();
}

PromptAnswer QtPrompts::question(const std::string& text, PromptButtons buttons, PromptIcon icon,
                                 const std::string& caption)
{
    NormalPointer pointer(mBusyDepth);
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (buttons) {
    case PromptButtons::Ok:
        break;
    case PromptButtons::YesNo:
        set = QMessageBox::Yes | QMessageBox::No;
        escape = QMessageBox::No;
        break;
    case PromptButtons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    }
    QMessageBox box(boxIcon(icon), captionOf(caption), QString::fromStdString(text), set, mParent);
    box.setEscapeButton(escape);
    box.setDefaultButton(buttons == PromptButtons::Ok ? QMessageBox::Ok : QMessageBox::Yes);
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    case QMessageBox::Cancel:
        return PromptAnswer::Cancel;
    case QMessageBox::Ok:
        return PromptAnswer::Ok;
    default:
        break;
    }
    // Closed by its frame.
    return buttons == PromptButtons::YesNoCancel ? PromptAnswer::Cancel
           : buttons == PromptButtons::YesNo     ? PromptAnswer::No
                                                 : PromptAnswer::Ok;
}

QString QtPrompts::qtFilter(const std::string& filter)
{
    // Pairs of "description|patterns", themselves separated by "|".
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters.append(parts[i].trimmed() + " (" + QString(parts[i + 1]).replace(';', ' ').trimmed() + ")");
    if (filters.isEmpty())
        filters.append(QString::fromStdString(filter));
    return filters.join(";;");
}

std::optional<std::string> QtPrompts::openFile(const FileDialogRequest& request)
{
    NormalPointer pointer(mBusyDepth);
    QFileDialog dialog(mParent, QString::fromStdString(request.title), QDir::currentPath(), qtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!request.defaultName.empty())
        dialog.selectFile(QString::fromStdString(request.defaultName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtPrompts::saveFile(const FileDialogRequest& request)
{
    NormalPointer pointer(mBusyDepth);
    QFileDialog dialog(mParent, QString::fromStdString(request.title), QDir::currentPath(), qtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Save As writes over an existing file without asking.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix("xml");
    if (!request.defaultName.empty())
        dialog.selectFile(QString::fromStdString(request.defaultName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

void QtPrompts::setBusy(bool busy)
{
    if (busy) {
        ++mBusyDepth;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (mBusyDepth > 0) {
        --mBusyDepth;
        QApplication::restoreOverrideCursor();
    }
}
