#include "editor/model/scripted_prompts.h"

void ScriptedPrompts::message(const std::string& text, PromptIcon icon, const std::string& caption)
{
    mRecords.push_back(Record{Kind::Message, text, caption, icon, PromptButtons::Ok, {}, PromptAnswer::Ok});
}

PromptAnswer ScriptedPrompts::question(const std::string& text, PromptButtons buttons, PromptIcon icon,
                                       const std::string& caption)
{
    PromptAnswer answer;
    if (!mAnswers.empty()) {
        answer = mAnswers.front();
        mAnswers.pop_front();
    } else {
        ++mUnscripted;
        answer = buttons == PromptButtons::YesNoCancel ? PromptAnswer::Cancel : PromptAnswer::No;
    }
    mRecords.push_back(Record{Kind::Question, text, caption, icon, buttons, {}, answer});
    return answer;
}

std::optional<std::string> ScriptedPrompts::openFile(const FileDialogRequest& request)
{
    mRecords.push_back(Record{Kind::OpenFile, request.title, {}, PromptIcon::None, PromptButtons::Ok, request,
                              PromptAnswer::Ok});
    if (mFiles.empty()) {
        ++mUnscripted;
        return std::nullopt;
    }
    auto path = mFiles.front();
    mFiles.pop_front();
    return path;
}

std::optional<std::string> ScriptedPrompts::saveFile(const FileDialogRequest& request)
{
    mRecords.push_back(Record{Kind::SaveFile, request.title, {}, PromptIcon::None, PromptButtons::Ok, request,
                              PromptAnswer::Ok});
    if (mFiles.empty()) {
        ++mUnscripted;
        return std::nullopt;
    }
    auto path = mFiles.front();
    mFiles.pop_front();
    return path;
}

void ScriptedPrompts::setBusy(bool busy)
{
    if (busy) {
        ++mBusyDepth;
        ++mBusyCount;
    } else if (mBusyDepth > 0) {
        --mBusyDepth;
    }
}

std::vector<std::string> ScriptedPrompts::messages() const
{
    std::vector<std::string> out;
    for (const auto& r : mRecords)
        if (r.kind == Kind::Message)
            out.push_back(r.text);
    return out;
}

std::vector<std::string> ScriptedPrompts::questions() const
{
    std::vector<std::string> out;
    for (const auto& r : mRecords)
        if (r.kind == Kind::Question)
            out.push_back(r.text);
    return out;
}

void ScriptedPrompts::clear()
{
    mRecords.clear();
    mAnswers.clear();
    mFiles.clear();
    mUnscripted = 0;
}
