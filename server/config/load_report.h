// Problems met while walking a configuration file, shown to the operator in one box at the
// end of the load, so that a file with many faults does not stop start-up with a box each.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class LoadReport {
public:
    // At most this many problems are spelled out; the rest are counted.
    static constexpr std::size_t kShownProblems = 20;

    void add(std::size_t line, std::size_t offset, const std::string& text);

    bool empty() const { return count_ == 0; }
    std::size_t count() const { return count_; }
    const std::vector<std::string>& shown() const { return shown_; }

    // "The configuration file has problems: PATH\n" and one line per problem.
    std::string messageText(const std::string& path) const;

private:
    std::vector<std::string> shown_;
    std::size_t count_ = 0;
};
