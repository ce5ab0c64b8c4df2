// Every message box, question, file dialog and the hourglass of the editor go through this one
// interface: the window supplies a Qt implementation, tests a scripted one.
#pragma once

#include <optional>
#include <string>

enum class PromptIcon { None, Information, Warning, Critical, Question };
enum class PromptButtons { Ok, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Yes, No, Cancel };

struct FileDialogRequest {
    std::string title;        // "Open as existing configuration"
    std::string filter;       // "configuration files |*.xml"
    std::string defaultName;  // proposed file name ("Vorlask.xml"), may be empty
    bool mustExist = false;   // the file-must-exist flag of the open dialog
};

class Prompts {
public:
    virtual ~Prompts() = default;

    // A message box with only an OK button. An empty caption means the program's title.
    virtual void message(const std::string& text, PromptIcon icon = PromptIcon::None,
                         const std::string& caption = {}) = 0;
    // A question with Yes/No or Yes/No/Cancel buttons; closing the box counts as No
    // (Yes/No) or Cancel (Yes/No/Cancel).
    virtual PromptAnswer question(const std::string& text, PromptButtons buttons,
                                  PromptIcon icon = PromptIcon::Question,
                                  const std::string& caption = {}) = 0;
    // The chosen full path; std::nullopt when the user cancelled.
    virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> saveFile(const FileDialogRequest& request) = 0;
    // The hourglass (wait) mouse pointer on or off. Calls nest: the pointer is normal again
    // when every "on" was matched by an "off".
    virtual void setBusy(bool busy) = 0;
};

// Passes everything on to another Prompts and counts the messages shown: how a caller learns
// that a reader reported (and skipped) something.
class CountingPrompts : public Prompts {
public:
    explicit CountingPrompts(Prompts& inner) : mInner(inner) {}
    void message(const std::string& text, PromptIcon icon, const std::string& caption) override
    {
        ++mMessages;
        mInner.message(text, icon, caption);
    }
    PromptAnswer question(const std::string& text, PromptButtons buttons, PromptIcon icon,
                          const std::string& caption) override
    {
        return mInner.question(text, buttons, icon, caption);
    }
    std::optional<std::string> openFile(const FileDialogRequest& r) override { return mInner.openFile(r); }
    std::optional<std::string> saveFile(const FileDialogRequest& r) override { return mInner.saveFile(r); }
    void setBusy(bool busy) override { mInner.setBusy(busy); }
    int messages() const { return mMessages; }

private:
    Prompts& mInner;
    int mMessages = 0;
};

// Shows the hourglass for the lifetime of the guard.
class BusyGuard {
public:
    explicit BusyGuard(Prompts& prompts) : mPrompts(prompts) { mPrompts.setBusy(true); }
    ~BusyGuard() { mPrompts.setBusy(false); }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    Prompts& mPrompts;
};
