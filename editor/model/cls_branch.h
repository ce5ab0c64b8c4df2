// One branch of the configuration.
#pragma once

#include <string>

namespace pugi {
class xml_node;
}

class clsBranch {
public:
    std::string sName;
    std::string sKey;

    // sName = the element's name in upper case; sKey = plcKey "." XmlBranchPath(parent) sName.
    void build(const pugi::xml_node& element, const std::string& plcKey);
    std::string getParentKey() const;

public:
    bool operator==(const clsBranch&) const = default;
};
