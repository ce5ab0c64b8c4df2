#include "editor/model/xml_read.h"

#include "editor/model/editor_error.h"
#include "editor/model/text_conv.h"
#include "editor/model/xml_import.h"

#include <strings.h>

std::string xmlTagName(const pugi::xml_node& element) { return upperCase(element.name()); }

pugi::xml_node childByName(const pugi::xml_node& element, const char* upperName)
{
    for (pugi::xml_node c = element.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && xmlTagName(c) == upperName)
            return c;
    return {};
}

std::string attributeText(const pugi::xml_node& element, const char* name)
{
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute())
        if (strcasecmp(a.name(), name) == 0)
            return a.value();
    return {};
}

namespace {
void collectText(const pugi::xml_node& node, std::string& out)
{
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            out += c.value();
        else if (c.type() == pugi::node_element)
            collectText(c, out);
    }
}
} // namespace

std::string elementText(const pugi::xml_node& element)
{
    std::string out;
    collectText(element, out);
    return out;
}

std::string requiredChildText(const pugi::xml_node& element, const char* upperName)
{
    pugi::xml_node c = childByName(element, upperName);
    if (!c)
        editor_err::raise(editor_err::kObjectNotSet);
    return elementText(c);
}
