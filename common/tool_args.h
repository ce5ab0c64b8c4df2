// The command line of a tool, read one argument at a time: the option at hand, the value that
// follows it, decimal numbers with a bound, and --help and --version answered alike by every
// tool.
#pragma once

#include <iostream>
#include <string>

class ToolArgs {
public:
    ToolArgs(int argc, char** argv) : argc_(argc), argv_(argv) {}

    // Moves to the next argument; false after the last.
    bool next()
    {
        if (++at_ >= argc_)
            return false;
        arg_ = argv_[at_];
        return true;
    }
    const std::string& arg() const { return arg_; }

    // Takes the argument after the option at hand; false when there is none.
    bool value(std::string* out)
    {
        if (at_ + 1 >= argc_)
            return false;
        *out = argv_[++at_];
        return true;
    }

    // With --help (-h) or --version at hand: prints the usage or the version line and returns
    // true (the tool then ends with status 0).
    bool answered(const char* usage, const char* version) const
    {
        if (arg_ == "--help" || arg_ == "-h")
            std::cout << usage;
        else if (arg_ == "--version")
            std::cout << version;
        else
            return false;
        return true;
    }

private:
    int argc_;
    char** argv_;
    int at_ = 0;
    std::string arg_;
};

// A decimal number of at most ten digits, nothing else, up to max.
inline bool decimalArg(const std::string& text, unsigned long max, unsigned long* out)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = std::stoul(text);
    return *out <= max;
}

// A usage error: the tool's name, why, and its usage on standard error; returns status 2.
inline int reportUsageError(const char* tool, const std::string& why, const char* usage)
{
    std::cerr << tool << ": " << why << "\n" << usage;
    return 2;
}
