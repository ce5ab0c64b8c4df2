// The toolkit's one exception. The server raises it only on allocation failure, with code 1
// and the text "Out of memory".
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class SOCmnException : public std::exception {
public:
    SOCmnException(std::uint32_t id, std::string description)
        : id_(id), description_(std::move(description)) {}

    std::uint32_t id() const noexcept { return id_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::uint32_t id_;
    std::string description_;
};

inline constexpr std::uint32_t kOutOfMemoryId = 1;

[[noreturn]] inline void throwOutOfMemory()
{
    throw SOCmnException(kOutOfMemoryId, "Out of memory");
}
