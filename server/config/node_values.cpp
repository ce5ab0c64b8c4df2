#include "server/config/node_values.h"

#include "server/config/config_document.h"

namespace {

// Only a text (or CDATA) first child carries the element's value; an element that starts with
// a nested element has none. The parser keeps leading text in the element itself.
const char* elementText(const pugi::xml_node& element)
{
    if (*element.value())
        return element.value();
    const pugi::xml_node first = element.first_child();
    if (!first)
        return nullptr;
    const pugi::xml_node_type type = first.type();
    if (type != pugi::node_pcdata && type != pugi::node_cdata)
        return nullptr;
    return first.value();
}

const char* attributeText(const pugi::xml_attribute& attribute)
{
    if (!attribute)
        return nullptr;
    const char* value = attribute.value();
    return *value ? value : nullptr;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

NodeNumber numberFrom(const char* text, unsigned width, std::uint32_t& out)
{
    if (!text)
        return NodeNumber::Absent;
    // Digits are ASCII, so the parsed (UTF-8) text can be checked as it is.
    return parseUnsigned(text, width, out);
}

} // namespace

bool readNodeText(const pugi::xml_attribute& attribute, std::string& out)
{
    const char* text = attributeText(attribute);
    if (!text)
        return false;
    out = narrowText(text);
    return true;
}

bool readNodeText(const pugi::xml_node& element, std::string& out)
{
    const char* text = elementText(element);
    if (!text)
        return false;
    out = narrowText(text);
    return true;
}

NodeNumber readNodeNumber(const pugi::xml_attribute& attribute, unsigned width, std::uint32_t& out)
{
    return numberFrom(attributeText(attribute), width, out);
}

NodeNumber readNodeNumber(const pugi::xml_node& element, unsigned width, std::uint32_t& out)
{
    return numberFrom(elementText(element), width, out);
}

NodeNumber parseUnsigned(std::string_view text, unsigned width, std::uint32_t& out)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    if (begin < end && text[begin] == '+')
        ++begin;
    if (begin == end)
        return NodeNumber::Invalid;

    const std::uint64_t limit = width >= 32 ? 0xFFFFFFFFull : (1ull << width) - 1;
    std::uint64_t value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return NodeNumber::Invalid;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > limit)
            return NodeNumber::Invalid;
    }
    out = static_cast<std::uint32_t>(value);
    return NodeNumber::Read;
}
