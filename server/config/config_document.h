// The configuration file as a parsed document. The file is ISO-8859-1 whatever its declaration
// says (older files carry none), so its bytes are widened to UTF-8 before parsing and every
// name and value is narrowed back, leaving bytes 0x80-0xFF exactly as they were in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

enum class DocumentStatus {
    Loaded,
    Unreadable,   // the file could not be opened or read
    Malformed,    // the file is not well-formed XML
    NoParser,     // the parser could not be set up (out of memory)
};

class ConfigDocument {
public:
    // Reads and parses the file. On failure the document stays empty and error() tells why.
    DocumentStatus load(const std::string& path);
    // Parses bytes already in memory, as load() does with a file's contents.
    DocumentStatus loadBytes(std::string_view bytes);

    const pugi::xml_document& document() const { return document_; }
    // What went wrong, without the path: "Error parsing end element tag at offset 34".
    const std::string& error() const { return error_; }

    // Where a node stands in the original file: byte offset and 1-based line; both are 0 when
    // the node has no position.
    std::size_t fileOffset(const pugi::xml_node& node) const;
    std::size_t fileLine(std::size_t fileOffset) const;

private:
    // Widens the file's bytes into a buffer of the parser's own and parses it there.
    DocumentStatus parse(const char* bytes, std::size_t size);
    std::size_t fileOffsetOfParsed(std::size_t parsedOffset) const;

    pugi::xml_document document_;
    std::string error_;
    // Offsets, in the parsed buffer, of every byte of the file above 0x7F (each became two).
    // 32 bits are enough: larger files are refused.
    std::vector<std::uint32_t> wideOffsets_;
    // Offsets of the file's line feeds, for line numbers in messages.
    std::vector<std::uint32_t> lineFeeds_;
};

// Whether the element has child nodes. Text that is an element's first child is kept in the
// element itself (it saves a node per value), so that counts as a child too.
bool hasChildNodes(const pugi::xml_node& element);

// A parsed (UTF-8) name or value back in the file's single bytes; characters above U+00FF,
// which only character references can bring in, become '?'.
std::string narrowText(const char* utf8);
