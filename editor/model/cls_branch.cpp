#include "editor/model/cls_branch.h"

#include "editor/model/cls_item.h"
#include "editor/model/xml_import.h"

#include <pugixml.hpp>

void clsBranch::build(const pugi::xml_node& element, const std::string& plcKey)
{
    sName = xmlTagName(element);
    sKey = plcKey + "." + XmlBranchPath(element.parent()) + sName;
}

std::string clsBranch::getParentKey() const { return parentKeyOf(sKey); }
