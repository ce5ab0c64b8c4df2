#include "server/config/config_document.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// pugixml frees an in-place buffer with its own deallocator, so the buffer comes from its
// allocator too.
char* allocateParserBuffer(std::size_t size)
{
    return static_cast<char*>(pugi::get_memory_allocation_function()(size));
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    errno = 0;
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (!file) {
        error = std::strerror(errno ? errno : ENOENT);
        return false;
    }
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) {
        error = std::strerror(readErrno ? readErrno : EIO);
        return false;
    }
    return true;
}

} // namespace

DocumentStatus ConfigDocument::load(const std::string& path)
{
    std::string bytes;
    try {
        if (!readWholeFile(path, bytes, error_))
            return DocumentStatus::Unreadable;
    } catch (const std::bad_alloc&) {
        error_ = "not enough memory to read the file";
        return DocumentStatus::NoParser;
    }
    return loadBytes(bytes);
}

DocumentStatus ConfigDocument::loadBytes(std::string_view bytes)
{
    document_.reset();
    error_.clear();
    wideOffsets_.clear();
    lineFeeds_.clear();

    std::size_t wideCount = 0;
    for (unsigned char c : bytes)
        if (c >= 0x80)
            ++wideCount;
    const std::size_t size = bytes.size() + wideCount;
    char* buffer = allocateParserBuffer(size ? size : 1);
    if (!buffer) {
        error_ = "not enough memory for the parser";
        return DocumentStatus::NoParser;
    }
    try {
        wideOffsets_.reserve(wideCount);
        std::size_t out = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c == '\n')
                lineFeeds_.push_back(i);
            if (c < 0x80) {
                buffer[out++] = static_cast<char>(c);
            } else {
                wideOffsets_.push_back(out);
                buffer[out++] = static_cast<char>(0xC0 | (c >> 6));
                buffer[out++] = static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    } catch (const std::bad_alloc&) {
        pugi::get_memory_deallocation_function()(buffer);
        error_ = "not enough memory for the parser";
        return DocumentStatus::NoParser;
    }

    // Default options: comments, processing instructions and whitespace-only text are not
    // kept; entity and character references are decoded.
    const pugi::xml_parse_result result =
        document_.load_buffer_inplace_own(buffer, size, pugi::parse_default, pugi::encoding_utf8);
    if (result)
        return DocumentStatus::Loaded;

    const std::size_t offset =
        fileOffsetOfParsed(result.offset < 0 ? 0 : static_cast<std::size_t>(result.offset));
    error_ = std::string(result.description()) + " at offset " + std::to_string(offset);
    // A document that failed half-way keeps what it parsed; nothing of it is to be used.
    document_.reset();
    return result.status == pugi::status_out_of_memory ? DocumentStatus::NoParser
                                                       : DocumentStatus::Malformed;
}

std::size_t ConfigDocument::fileOffsetOfParsed(std::size_t parsedOffset) const
{
    // Every wide byte before this offset took one extra byte in the parsed buffer.
    const auto before = std::lower_bound(wideOffsets_.begin(), wideOffsets_.end(), parsedOffset);
    return parsedOffset - static_cast<std::size_t>(before - wideOffsets_.begin());
}

std::size_t ConfigDocument::fileOffset(const pugi::xml_node& node) const
{
    const std::ptrdiff_t parsed = node.offset_debug();
    if (parsed < 0)
        return 0;
    return fileOffsetOfParsed(static_cast<std::size_t>(parsed));
}

std::size_t ConfigDocument::fileLine(std::size_t fileOffset) const
{
    const auto before = std::lower_bound(lineFeeds_.begin(), lineFeeds_.end(), fileOffset);
    return static_cast<std::size_t>(before - lineFeeds_.begin()) + 1;
}

std::string narrowText(const char* utf8)
{
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p) {
        const unsigned char c = *p;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++p;
            continue;
        }
        // Sequence length from the lead byte; the parser only produced well-formed UTF-8
        // (widened file bytes and decoded references), but stay safe on anything else.
        std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        std::size_t have = 1;
        while (have < length && (p[have] & 0xC0) == 0x80)
            ++have;
        if (length == 2 && have == 2 && c >= 0xC2 && c <= 0xC3)
            out.push_back(static_cast<char>(((c & 0x03) << 6) | (p[1] & 0x3F)));
        else
            out.push_back('?');
        p += have;
    }
    return out;
}

std::string widenLatin1(std::string_view latin1)
{
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}
