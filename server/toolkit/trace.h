// The toolkit's trace: leveled, grouped lines to a sink (standard error unless replaced).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "server/toolkit/cmn_object.h"

inline constexpr std::uint32_t kTraceLevelError = 1;
inline constexpr std::uint32_t kTraceLevelWarning = 2;
inline constexpr std::uint32_t kTraceLevelInfo = 3;
inline constexpr std::uint32_t kTraceLevelDebug = 4;

inline constexpr std::uint32_t kTraceGroupUser1 = 0x10000000; // the server's own group

class SOCmnTrace : public SOCmnObject {
public:
    using Sink = std::function<void(std::string_view line)>;

    // The groups traced at a level (bit mask). At start errors of all groups are traced, and
    // nothing else.
    void setLevelGroups(std::uint32_t level, std::uint32_t groups);
    std::uint32_t levelGroups(std::uint32_t level) const;
    bool isEnabled(std::uint32_t level, std::uint32_t group) const;

    // printf-style formatting into a string.
    static std::string expand(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static std::string expandV(const char* format, va_list args);

    // Writes one line "<level> <group hex> <object>: <text>" when the group is enabled for the
    // level. Returns whether it was written.
    bool trace(std::uint32_t level, std::uint32_t group, std::string_view objectId, std::string_view text);

    // Replaces the sink (empty: standard error again).
    void setSink(Sink sink);

private:
    mutable std::mutex mutex_;
    std::uint32_t groups_[5] = {0, 0xFFFFFFFFu, 0, 0, 0};
    Sink sink_;
};

// The process's trace object (a shared handle to one instance).
SOCmnPointer<SOCmnTrace> getSOCmnTrace();
