#include "server/polling/message_catalog.h"

#include <cstdio>
#include <memory>
#include <system_error>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The catalogue's own digit rule: a byte below ':' is a decimal digit, anything else a letter.
std::uint32_t hexDigit(unsigned char c) {
    return c < ':' ? static_cast<std::uint32_t>(c) - 48u : static_cast<std::uint32_t>(c) - 55u;
}

} // namespace

MessageCatalog& MessageCatalog::instance() {
    static MessageCatalog catalog;
    return catalog;
}

int MessageCatalog::load(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    if (loaded_)
        return kLoaded;
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return kCannotOpen;
    loaded_ = true;
    std::FILE* f = file.get();
    for (;;) {
        std::uint32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            int c = std::fgetc(f);
            if (c == EOF)
                return kReadFailed;
            code = (code << 4) + hexDigit(static_cast<unsigned char>(c));
        }
        code &= 0xFFFFu;
        if (std::fgetc(f) == EOF) // separator
            return kReadFailed;
        std::string text;
        int c;
        while ((c = std::fgetc(f)) != EOF && c != '\r') {
            if (text.size() < kMaxText)
                text.push_back(static_cast<char>(c));
        }
        if (c == EOF)
            return kReadFailed;
        records_.push_back({code, std::move(text)});
        if (code == kEndCode)
            return kLoaded;
        if (std::fgetc(f) == EOF) // LF
            return kReadFailed;
    }
}

int MessageCatalog::lookup(std::uint32_t code, std::string& text) const {
    text.clear();
    if (code == 0)
        return kNotFound;
    std::lock_guard lock(mutex_);
    for (const Record& r : records_) {
        if (r.code == code) {
            text = r.text;
            return kFound;
        }
    }
    return kNotFound;
}

std::string MessageCatalog::textFor(std::uint32_t code) const {
    std::string text;
    lookup(code, text);
    return text;
}

bool MessageCatalog::isLoaded() const {
    std::lock_guard lock(mutex_);
    return loaded_;
}

std::vector<MessageCatalog::Record> MessageCatalog::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::filesystem::path moduleDirectory() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path();
}
