#include "server/config/load_report.h"

void LoadReport::add(std::size_t line, std::size_t offset, const std::string& text)
{
    ++count_;
    if (shown_.size() < kShownProblems)
        shown_.push_back("line " + std::to_string(line) + " (offset " + std::to_string(offset) +
                         "): " + text);
}

std::string LoadReport::messageText(const std::string& path) const
{
    std::string text = "The configuration file has problems: " + path + "\n";
    for (const std::string& line : shown_)
        text += line + "\n";
    if (count_ > shown_.size())
        text += "... and " + std::to_string(count_ - shown_.size()) + " more\n";
    return text;
}
