#include "server/config/config_document.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include <sys/stat.h>

namespace {

// pugixml frees an in-place buffer with its own deallocator, so buffers come from its
// allocator too.
struct ParserBufferFree {
    void operator()(char* p) const { pugi::get_memory_deallocation_function()(p); }
};
using ParserBuffer = std::unique_ptr<char, ParserBufferFree>;

ParserBuffer allocateParserBuffer(std::size_t size)
{
    return ParserBuffer(static_cast<char*>(pugi::get_memory_allocation_function()(size ? size : 1)));
}

constexpr std::size_t kLargestFile = std::numeric_limits<std::uint32_t>::max() / 2;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Default options (comments, processing instructions and whitespace-only text are not kept;
// references are decoded), and an element's leading text kept in the element: a file of many
// small values then needs about half the nodes.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_embed_pcdata;

} // namespace

DocumentStatus ConfigDocument::load(const std::string& path)
{
    document_.reset();
    error_.clear();
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0) {
        error_ = std::strerror(errno ? errno : ENOENT);
        return DocumentStatus::Unreadable;
    }
    if (S_ISDIR(info.st_mode)) {
        error_ = std::strerror(EISDIR);
        return DocumentStatus::Unreadable;
    }
    if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kLargestFile) {
        error_ = "the file is too large";
        return DocumentStatus::Unreadable;
    }

    // Read in one piece; a file that grows meanwhile is read as far as its size said.
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    ParserBuffer bytes = allocateParserBuffer(size);
    if (!bytes) {
        error_ = "not enough memory to read the file";
        return DocumentStatus::NoParser;
    }
    const std::size_t got = std::fread(bytes.get(), 1, size, file.get());
    if (got != size && std::ferror(file.get())) {
        error_ = std::strerror(errno ? errno : EIO);
        return DocumentStatus::Unreadable;
    }
    file.reset();
    return parse(bytes.get(), got);
}

DocumentStatus ConfigDocument::loadBytes(std::string_view bytes)
{
    document_.reset();
    error_.clear();
    if (bytes.size() > kLargestFile) {
        error_ = "the file is too large";
        return DocumentStatus::Unreadable;
    }
    return parse(bytes.data(), bytes.size());
}

DocumentStatus ConfigDocument::parse(const char* bytes, std::size_t size)
{
    wideOffsets_.clear();
    lineFeeds_.clear();

    std::size_t wideCount = 0;
    std::size_t lineCount = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        wideCount += c >> 7;
        lineCount += c == '\n';
    }
    const std::size_t parsedSize = size + wideCount;
    ParserBuffer buffer = allocateParserBuffer(parsedSize);
    if (!buffer) {
        error_ = "not enough memory for the parser";
        return DocumentStatus::NoParser;
    }
    try {
        wideOffsets_.reserve(wideCount);
        lineFeeds_.reserve(lineCount);
    } catch (const std::bad_alloc&) {
        error_ = "not enough memory for the parser";
        return DocumentStatus::NoParser;
    }
    char* out = buffer.get();
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            if (c == '\n')
                lineFeeds_.push_back(static_cast<std::uint32_t>(i));
            *out++ = static_cast<char>(c);
        } else {
            wideOffsets_.push_back(static_cast<std::uint32_t>(out - buffer.get()));
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    const pugi::xml_parse_result result =
        document_.load_buffer_inplace_own(buffer.release(), parsedSize, kParseOptions, pugi::encoding_utf8);
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

bool hasChildNodes(const pugi::xml_node& element)
{
    return element.first_child() || *element.value();
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
