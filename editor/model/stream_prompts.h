// Prompts of the editor's commands without a window: every message is a line on an error
// stream, and nobody answers questions.
#pragma once

#include "editor/model/prompts.h"

#include <ostream>

class StreamPrompts : public Prompts {
public:
    explicit StreamPrompts(std::ostream& err) : mErr(err) {}
    void message(const std::string& text, PromptIcon, const std::string&) override
    {
        mErr << text << '\n';
        ++mCount;
    }
    PromptAnswer question(const std::string& text, PromptButtons buttons, PromptIcon, const std::string&) override
    {
        mErr << text << '\n';
        ++mCount;
        return buttons == PromptButtons::YesNoCancel ? PromptAnswer::Cancel : PromptAnswer::No;
    }
    std::optional<std::string> openFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> saveFile(const FileDialogRequest&) override { return std::nullopt; }
    void setBusy(bool) override {}
    // Messages and questions so far.
    int count() const { return mCount; }

private:
    std::ostream& mErr;
    int mCount = 0;
};
