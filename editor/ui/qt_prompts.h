// The editor's prompts on screen: message boxes, file dialogs and the busy pointer.
#pragma once

#include "editor/model/prompts.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : mParent(parent) {}
    void setParentWidget(QWidget* parent) { mParent = parent; }

    void message(const std::string& text, PromptIcon icon, const std::string& caption) override;
    PromptAnswer question(const std::string& text, PromptButtons buttons, PromptIcon icon,
                          const std::string& caption) override;
    std::optional<std::string> openFile(const FileDialogRequest& request) override;
    std::optional<std::string> saveFile(const FileDialogRequest& request) override;
    void setBusy(bool busy) override;

    // "configuration files |*.xml" as a Qt name filter: "configuration files (*.xml)".
    static QString qtFilter(const std::string& filter);

private:
    QPointer<QWidget> mParent;
    int mBusyDepth = 0;
};
