// Prompts for tests: records every message, question and dialog, and answers questions and
// file dialogs from queues filled by the test.
#pragma once

#include "editor/model/prompts.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

class ScriptedPrompts : public Prompts {
public:
    enum class Kind { Message, Question, OpenFile, SaveFile };
    struct Record {
        Kind kind;
        std::string text;         // message or question text; dialog title for file dialogs
        std::string caption;
        PromptIcon icon = PromptIcon::None;
        PromptButtons buttons = PromptButtons::Ok;
        FileDialogRequest file;   // for file dialogs
        PromptAnswer answer = PromptAnswer::Ok; // what the question returned
    };

    void message(const std::string& text, PromptIcon icon, const std::string& caption) override;
    PromptAnswer question(const std::string& text, PromptButtons buttons, PromptIcon icon,
                          const std::string& caption) override;
    std::optional<std::string> openFile(const FileDialogRequest& request) override;
    std::optional<std::string> saveFile(const FileDialogRequest& request) override;
    void setBusy(bool busy) override;

    // Answers, used in order. A question without a queued answer gets No (Yes/No) or Cancel
    // (Yes/No/Cancel); a file dialog without one is cancelled. Both count as unscripted.
    void queueAnswer(PromptAnswer answer) { mAnswers.push_back(answer); }
    void queueFile(std::optional<std::string> path) { mFiles.push_back(std::move(path)); }

    const std::vector<Record>& records() const { return mRecords; }
    // Texts of the messages (OK boxes) only, in order.
    std::vector<std::string> messages() const;
    // Texts of the questions only, in order.
    std::vector<std::string> questions() const;
    void clear();

    int unscripted() const { return mUnscripted; }
    int busyDepth() const { return mBusyDepth; }      // 0 when the pointer is normal
    int busyCount() const { return mBusyCount; }      // how often the hourglass was switched on

private:
    std::vector<Record> mRecords;
    std::deque<PromptAnswer> mAnswers;
    std::deque<std::optional<std::string>> mFiles;
    int mUnscripted = 0;
    int mBusyDepth = 0;
    int mBusyCount = 0;
};
