#include "server/toolkit/trace.h"

#include <cstdio>
#include <iostream>
#include <vector>

void SOCmnTrace::setLevelGroups(std::uint32_t level, std::uint32_t groups)
{
    std::lock_guard g(mutex_);
    if (level >= 1 && level <= 4)
        groups_[level] = groups;
}

std::uint32_t SOCmnTrace::levelGroups(std::uint32_t level) const
{
    std::lock_guard g(mutex_);
    return level >= 1 && level <= 4 ? groups_[level] : 0;
}

bool SOCmnTrace::isEnabled(std::uint32_t level, std::uint32_t group) const
{
    return (levelGroups(level) & group) != 0;
}

std::string SOCmnTrace::expandV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string SOCmnTrace::expand(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string s = expandV(format, args);
    va_end(args);
    return s;
}

bool SOCmnTrace::trace(std::uint32_t level, std::uint32_t group, std::string_view objectId, std::string_view text)
{
    if (!isEnabled(level, group))
        return false;
    char head[32];
    std::snprintf(head, sizeof head, "%u %08X ", level, group);
    std::string line = head;
    line.append(objectId);
    line += ": ";
    line.append(text);
    std::lock_guard g(mutex_);
    if (sink_)
        sink_(line);
    else
        std::cerr << line << '\n';
    return true;
}

void SOCmnTrace::setSink(Sink sink)
{
    std::lock_guard g(mutex_);
    sink_ = std::move(sink);
}

SOCmnPointer<SOCmnTrace> getSOCmnTrace()
{
    static SOCmnTrace* const instance = new SOCmnTrace(); // lives as long as the process
    return SOCmnPointer<SOCmnTrace>::share(instance);
}
